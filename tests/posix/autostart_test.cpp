// Platform layer (Linux): the XDG autostart entry written, validated and removed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "hosts/posix/xdg_autostart.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

class XdgAutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("kc_autostart_" + std::to_string(random()));
        fs::create_directories(dir_);
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            if (const char* v = std::getenv(name)) saved_.emplace_back(name, v);
        ::setenv("HOME", (dir_ / "home").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_CONFIG_HOME");
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
        fs::remove_all(dir_);
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // desktop-file-validate's complaints, "" when it accepts the file; nullopt without it.
    std::optional<std::string> validate(const fs::path& entry) {
        if (std::system("command -v desktop-file-validate >/dev/null 2>&1") != 0) return std::nullopt;
        const fs::path out = dir_ / "validate.txt";
        int code = std::system(("desktop-file-validate '" + entry.string() + "' >'" + out.string() + "' 2>&1").c_str());
        std::string said = read(out);
        return code == 0 ? said : "exit " + std::to_string(code) + ": " + said;
    }
    fs::path dir_;

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(XdgAutostartTest, entry_is_written_where_the_desktop_looks_validated_and_removed) {
    const fs::path launcher = dir_ / "libexec" / "kavor-cen-menu";
    fs::create_directories(launcher.parent_path());
    std::ofstream(launcher) << "#!/bin/sh\n";
    struct Case {
        std::string xdg_config_home;  // "": unset
        fs::path expected_dir;
        std::string running;          // the binary of this process
        std::string folder;
        std::string exec_line;        // the entry's Exec line
        std::string path_line;        // its Path line, "" for none
    };
    const std::string installed = "/usr/bin/kavor-cen";
    const Case cases[] = {
        // Installed: started through the menu's launcher, which picks the data folder.
        {"", dir_ / "home/.config/autostart", installed, "/home/op", "Exec=" + launcher.string(), ""},
        // A build started from a shell: that binary in its folder; blanks and % quoted.
        {(dir_ / "cfg").string(), dir_ / "cfg/autostart", "/opt/kavor cen/kavor-cen", "/home/op/stacja 100%",
         "Exec=\"/opt/kavor cen/kavor-cen\"", "Path=/home/op/stacja 100%"},
        {(dir_ / "cfg").string(), dir_ / "cfg/autostart", "/opt/a$b/kavor-cen", "/srv/st",
         "Exec=\"/opt/a\\\\$b/kavor-cen\"", "Path=/srv/st"},
        // A relative XDG_CONFIG_HOME does not count.
        {"relative/cfg", dir_ / "home/.config/autostart", "/build/kavor-cen", "/build", "Exec=/build/kavor-cen",
         "Path=/build"},
    };
    for (const Case& c : cases) {
        if (!c.xdg_config_home.empty()) {
            ::setenv("XDG_CONFIG_HOME", c.xdg_config_home.c_str(), 1);
        } else {
            ::unsetenv("XDG_CONFIG_HOME");
        }
        auto autostart =
            make_xdg_autostart(choose_autostart_launch(c.running, installed, launcher.string(), c.folder), "pl.kavor.kavorcen");
        const fs::path entry = c.expected_dir / "pl.kavor.kavorcen.desktop";
        EXPECT_EQ(autostart->where(), entry.string());
        EXPECT_FALSE(autostart->is_set());

        ASSERT_FALSE(autostart->set(true)) << c.running;
        EXPECT_TRUE(autostart->is_set());
        const std::string text = read(entry);
        EXPECT_NE(text.find("\n" + c.exec_line + "\n"), std::string::npos) << text;
        if (c.path_line.empty()) {
            EXPECT_EQ(text.find("\nPath="), std::string::npos) << text;
        } else {
            EXPECT_NE(text.find("\n" + c.path_line + "\n"), std::string::npos) << text;
        }
        if (auto said = validate(entry)) {
            EXPECT_EQ(*said, "") << text;
        }

        ASSERT_FALSE(autostart->set(false));
        EXPECT_FALSE(fs::exists(entry));
        EXPECT_FALSE(autostart->is_set());
        EXPECT_FALSE(autostart->set(false)) << "removing what is not there is no failure";
    }
}

TEST_F(XdgAutostartTest, an_entry_switched_off_by_the_desktop_is_not_set_and_a_blocked_folder_is_an_error) {
    ::setenv("XDG_CONFIG_HOME", (dir_ / "cfg").c_str(), 1);
    auto autostart = make_xdg_autostart({"/build/kavor-cen", "/build"}, "pl.kavor.kavorcen");
    ASSERT_FALSE(autostart->set(true));
    std::ofstream(autostart->where(), std::ios::app) << "Hidden=true\n";
    EXPECT_FALSE(autostart->is_set());
    ASSERT_FALSE(autostart->set(true)) << "ticking again writes a fresh entry";
    EXPECT_TRUE(autostart->is_set());

    fs::remove_all(dir_ / "cfg");
    fs::create_directories(dir_ / "cfg");
    std::ofstream(dir_ / "cfg" / "autostart") << "a file where the folder should be\n";
    EXPECT_TRUE(autostart->set(true));
    EXPECT_FALSE(autostart->is_set());
}

}  // namespace
}  // namespace kc
