// Tests (POSIX serial): port names through the user's links and the ttyS default.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "hosts/posix/port_names.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one test and puts the old value back.
class EnvVar {
public:
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvVar() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class PortNames : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kc-ports-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        root = tmpl;
        fs::create_directories(root / "kavorcen");
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root;
};

TEST_F(PortNames, link_in_the_config_folder_wins_over_the_default) {
    EnvVar xdg("XDG_CONFIG_HOME", root.c_str());
    fs::create_symlink("/dev/ttyUSB0", root / "kavorcen" / "COM1");
    fs::create_symlink("../adapters/acm", root / "kavorcen" / "COM10");
    EXPECT_EQ(resolve_port_device("COM1"), "/dev/ttyUSB0");
    EXPECT_EQ(resolve_port_device("COM10"), (root / "kavorcen").string() + "/../adapters/acm");
    EXPECT_EQ(resolve_port_device("COM2"), "/dev/ttyS1");
    EXPECT_EQ(describe_port(1), "/dev/ttyUSB0");
    EXPECT_EQ(describe_port(3), "/dev/ttyS2");
}

TEST_F(PortNames, only_a_symlink_counts) {
    EnvVar xdg("XDG_CONFIG_HOME", root.c_str());
    { std::FILE* f = std::fopen((root / "kavorcen" / "COM4").c_str(), "w"); std::fclose(f); }
    EXPECT_EQ(resolve_port_device("COM4"), "/dev/ttyS3");
}

TEST_F(PortNames, home_config_folder_without_xdg_config_home) {
    EnvVar xdg("XDG_CONFIG_HOME", nullptr);
    EnvVar home("HOME", root.c_str());
    fs::create_directories(root / ".config" / "kavorcen");
    fs::create_symlink("/dev/ttyACM0", root / ".config" / "kavorcen" / "COM5");
    EXPECT_EQ(resolve_port_device("COM5"), "/dev/ttyACM0");
    EXPECT_EQ(port_link_directory(), (root / ".config" / "kavorcen").string());
    // A relative XDG_CONFIG_HOME is ignored.
    EnvVar relative("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(resolve_port_device("COM5"), "/dev/ttyACM0");
}

TEST(PortNamesPlain, paths_pass_and_other_names_do_not) {
    EXPECT_EQ(resolve_port_device("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(resolve_port_device("COM0"), "");
    EXPECT_EQ(resolve_port_device("COM"), "");
    EXPECT_EQ(resolve_port_device("COM1x"), "");
    EXPECT_EQ(resolve_port_device("com1"), "");
    EXPECT_EQ(resolve_port_device("ttyS0"), "");
    EXPECT_EQ(resolve_port_device(""), "");
}

}  // namespace
}  // namespace kc
