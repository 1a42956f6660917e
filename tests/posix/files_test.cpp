// Tests (POSIX): the safe write with the system's calls behind it, the journal when the
// process runs out of files, port links, and the UUCP lock as other programs read it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "hosts/posix/posix_files.h"
#include "hosts/posix/udev_discovery.h"
#include "hosts/posix/uucp_lock.h"
#include "storage/extra_settings_file.h"
#include "storage/price_files.h"
#include "storage/safe_file.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kc-files-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        install_file_system(&posix::posix_file_system());
    }
    void TearDown() override {
        install_file_system(nullptr);
        fs::remove_all(dir);
    }
    static std::string read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    static unsigned mode(const fs::path& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    fs::path dir;
};

TEST_F(Files, the_safe_write_keeps_links_mode_and_owner_and_follows_nothing_planted) {
    struct Case {
        const char* name;
        std::function<void(const fs::path& dir)> before;  // the folder's state; the target is dir/"f"
        std::function<void(const fs::path& dir)> check;
    };
    const Case cases[] = {
        {"a new file is private", [](const fs::path&) {},
         [](const fs::path& d) { EXPECT_EQ(mode(d / "f"), 0600u); }},
        {"the old mode stays",
         [](const fs::path& d) {
             write(d / "f", "old");
             fs::permissions(d / "f", fs::perms(0640));
         },
         [](const fs::path& d) { EXPECT_EQ(mode(d / "f"), 0640u); }},
        {"a link stays and its file is replaced",
         [](const fs::path& d) {
             fs::create_directory(d / "real");
             write(d / "real" / "f", "old");
             fs::create_symlink("real/f", d / "f");
         },
         [](const fs::path& d) {
             EXPECT_TRUE(fs::is_symlink(d / "f"));
             EXPECT_EQ(read(d / "real" / "f"), "new");
         }},
        {"a link planted at the old temporary name is not followed",
         [](const fs::path& d) {
             write(d / "victim", "victim");
             fs::create_symlink("victim", d / "f.tmp");
         },
         [](const fs::path& d) { EXPECT_EQ(read(d / "victim"), "victim"); }},
        {"the owner stays",
         [](const fs::path& d) {
             write(d / "f", "old");
             if (::getuid() == 0) ASSERT_EQ(::chown((d / "f").c_str(), 65534, 65534), 0);
         },
         [](const fs::path& d) {
             struct stat st;
             ASSERT_EQ(::stat((d / "f").c_str(), &st), 0);
             EXPECT_EQ(st.st_uid, ::getuid() == 0 ? 65534u : ::getuid());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path d = dir / c.name;
        fs::create_directory(d);
        c.before(d);
        ASSERT_FALSE(write_file_replacing((d / "f").string(), "new", false));
        EXPECT_EQ(read(d / "f"), "new");
        c.check(d);
        for (const auto& e : fs::directory_iterator(d))
            EXPECT_NE(e.path().filename().string().rfind(".f.", 0), 0u) << "left behind: " << e.path();
    }
}

TEST_F(Files, a_settings_file_with_a_password_others_can_read_is_told) {
    struct Case {
        const char* text;
        unsigned mode;
        bool told;
    };
    const Case cases[] = {
        {"head_office_password=secret\n", 0644, true},
        {"head_office_password=secret\n", 0640, true},
        {"head_office_password=secret\n", 0600, false},
        {"head_office_password=\nreconnect=1\n", 0644, false},
        {"reconnect=1\n", 0644, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " mode " + std::to_string(c.mode));
        auto p = std::make_unique<Program>();
        copy_text(p->state.work_directory, sizeof p->state.work_directory, dir.c_str());
        write(dir / kExtraSettingsName, c.text);
        fs::permissions(dir / kExtraSettingsName, fs::perms(c.mode));
        EXPECT_EQ(load_extra_settings(*p).password_exposed, c.told);
        // A save keeps the mode: a private file stays private.
        ASSERT_FALSE(save_extra_settings(*p));
        EXPECT_EQ(mode(dir / kExtraSettingsName), c.mode);
    }
}

// Holds every free descriptor of the process (under a low limit) until it goes.
class NoFreeFiles {
public:
    NoFreeFiles() {
        ::getrlimit(RLIMIT_NOFILE, &old_);
        rlimit low = old_;
        low.rlim_cur = std::min<rlim_t>(old_.rlim_cur, 256);
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) held_.push_back(fd);
    }
    ~NoFreeFiles() {
        for (int fd : held_) ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &old_);
    }

private:
    rlimit old_{};
    std::vector<int> held_;
};

TEST_F(Files, the_journal_and_schedule_are_not_set_aside_when_no_file_can_be_opened) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers' own checks open descriptors (a pipe to probe memory) and report
    // false faults when none is free; the default build runs this test.
    GTEST_SKIP() << "needs free descriptors under a sanitizer";
#endif
    auto p = std::make_unique<Program>();
    copy_text(p->state.work_directory, sizeof p->state.work_directory, dir.c_str());
    const fs::path journal = dir / kJournalName, schedule = dir / kScheduleName;
    write(journal, journal_header());
    write(schedule, "codziennie;06:00:00;4.59;;;;;-----\n");
    std::error_code appended;
    FileRead journal_read, schedule_read;
    Schedule loaded;
    std::vector<JournalEntry> entries;
    {
        NoFreeFiles none;
        appended = append_journal(*p, JournalEntry{});
        journal_read = read_journal(journal.string(), entries);
        schedule_read = load_schedule(schedule.string(), loaded);
    }
    EXPECT_EQ(appended, std::errc::too_many_files_open);
    EXPECT_EQ(journal_read.set_aside_as, "");
    EXPECT_EQ(schedule_read.set_aside_as, "");
    EXPECT_TRUE(schedule_read.open_error);
    EXPECT_NE(file_read_problem(schedule.string(), schedule_read), "");
    // A save of what could not be read would lose the file: refused.
    EXPECT_TRUE(save_schedule(schedule.string(), loaded));
    EXPECT_EQ(read(journal), journal_header());
    EXPECT_EQ(read(schedule), "codziennie;06:00:00;4.59;;;;;-----\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(Files, a_port_link_that_could_not_be_made_is_an_error) {
    const char* old = getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    fs::create_directories(dir / "kavorcen" / "COM3" / "something");
    UdevPortDiscovery discovery;
    const std::error_code e = discovery.link_port(3, "/dev/ttyUSB0");
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    EXPECT_TRUE(e);
    EXPECT_TRUE(fs::is_directory(dir / "kavorcen" / "COM3"));
    EXPECT_FALSE(fs::exists(dir / "kavorcen" / "COM3.new"));
}

TEST_F(Files, a_uucp_lock_is_never_seen_without_its_pid) {
    posix::set_lock_directory(dir.string());
    const std::string lock = posix::lock_file_path("/dev/ttyKC0");
    std::atomic<bool> done{false};
    std::atomic<int> empty_seen{0}, reads{0};
    std::thread reader([&] {
        while (!done) {
            int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            char text[32];
            if (::read(fd, text, sizeof text) <= 0) ++empty_seen;
            ++reads;
            ::close(fd);
        }
    });
    for (int i = 0; i < 20000 && empty_seen == 0; ++i) {
        posix::UucpLock taken = posix::take_uucp_lock("/dev/ttyKC0");
        ASSERT_EQ(taken.path, lock);
        posix::drop_uucp_lock(taken.path);
    }
    done = true;
    reader.join();
    posix::set_lock_directory("");
    EXPECT_EQ(empty_seen, 0) << "of " << reads << " reads";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 0);
}

}  // namespace
}  // namespace kc
