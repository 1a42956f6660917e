// Tests (POSIX serial): lock files, exclusive use and the message for each reason an
// open fails, on pseudo-terminals with the real backend.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "hosts/posix/posix_serial.h"
#include "hosts/posix/udev_discovery.h"
#include "hosts/posix/uucp_lock.h"
#include "posix/as_user.h"
#include "posix/pty_pair.h"
#include "resources/texts.h"
#include "serial/connection_texts.h"
#include "signsim/sign_simulator.h"
#include "text/cp1250.h"

namespace kc {
namespace {

namespace fs = std::filesystem;
using test::PtyPair;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string lock_text(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

class Connection : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        dir = fs::temp_directory_path() / ("kc_conn_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "lock");
        fs::create_directories(dir / "config" / "kavorcen");
        fs::permissions(dir / "lock", fs::perms::all | fs::perms::sticky_bit);  // as /run/lock
        posix::set_lock_directory((dir / "lock").string());
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        program.record = std::make_unique<MainRecord>();
    }
    void TearDown() override {
        posix::set_lock_directory("");
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    fs::path lock_file() const { return posix::lock_file_path(pty.slave_path()); }
    // Points COM1 at `target`.
    void link_com1(const std::string& target) {
        fs::remove(dir / "config" / "kavorcen" / "COM1");
        fs::create_symlink(target, dir / "config" / "kavorcen" / "COM1");
    }
    std::string message_for(PosixSerialDevice& d) {
        return cp1250_to_utf8(open_failure_text(program, 1, d.open_report()));
    }
    // A child that stays alive until killed, as another program would.
    pid_t live_child() {
        pid_t pid = fork();
        if (pid == 0) {
            pause();
            _exit(0);
        }
        return pid;
    }
    void end_child(pid_t pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    PtyPair pty;
    fs::path dir;
    Program program;
};

TEST_F(Connection, uucp_lock_files_are_honoured_written_and_removed) {
    // A live foreign PID refuses the open and is named.
    pid_t other = live_child();
    { std::ofstream(lock_file()) << lock_text(other); }
    PosixSerialDevice dev;
    std::error_code e = dev.open(pty.slave_path());
    EXPECT_EQ(e, std::errc::device_or_resource_busy);
    EXPECT_EQ(dev.open_report().cause, OpenFailCause::Busy);
    EXPECT_NE(message_for(dev).find("PID " + std::to_string(other)), std::string::npos) << message_for(dev);
    EXPECT_EQ(read_all(lock_file()), lock_text(other));  // someone else's lock stays

    // The same PID, gone: the stale lock is replaced by ours, in the usual format.
    end_child(other);
    ASSERT_FALSE(dev.open(pty.slave_path()));
    EXPECT_EQ(read_all(lock_file()), lock_text(getpid()));
    // The other way round: a program that honours lock files finds a live owner.
    EXPECT_EQ(posix::lock_file_pid(lock_file()), getpid());

    dev.close();
    EXPECT_FALSE(fs::exists(lock_file()));
    // A second open after the close works, and so does a second device's open after that.
    ASSERT_FALSE(dev.open(pty.slave_path()));
    PosixSerialDevice second;
    EXPECT_EQ(second.open(pty.slave_path()), std::errc::device_or_resource_busy);
    dev.close();
    EXPECT_FALSE(second.open(pty.slave_path()));
}

TEST_F(Connection, each_failure_cause_gives_its_own_message) {
    std::set<std::string> messages;
    auto expect_cause = [&](const std::string& target, OpenFailCause cause, Txt text) {
        link_com1(target);
        PosixSerialDevice dev;
        EXPECT_TRUE(dev.open("COM1")) << target;
        EXPECT_EQ(dev.open_report().cause, cause) << target;
        EXPECT_EQ(dev.open_report().device, target);
        std::string m = message_for(dev);
        EXPECT_NE(m.find("COM1"), std::string::npos) << m;
        EXPECT_NE(m.find(target), std::string::npos) << m;
        std::string fixed = cp1250_to_utf8(txt(text));
        EXPECT_NE(m.find(fixed.substr(0, fixed.find('%'))), std::string::npos) << m;
        messages.insert(m);
    };

    // Missing: the message lists what is present.
    struct Present : PortDiscovery {
        std::vector<SerialPortInfo> list_ports() override {
            return {{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R-if00", "FTDI", "FT232R USB UART", "A1B2", "ftdi_sio"}};
        }
        void watch(std::function<void()>) override {}
        std::string builtin_device(int) override { return ""; }
        std::string linked_device(int) override { return ""; }
        std::error_code link_port(int, const std::string&) override { return {}; }
        bool device_present(const std::string&) override { return false; }
    };
    program.discovery = std::make_shared<Present>();
    expect_cause((dir / "no-such-device").string(), OpenFailCause::Missing, Txt::ConnMissing);
    EXPECT_NE(messages.begin()->find("FTDI FT232R USB UART, nr A1B2 (/dev/ttyUSB0)"), std::string::npos)
        << *messages.begin();

    // A plain file and a folder are no serial ports.
    { std::ofstream(dir / "plain") << "x"; }
    expect_cause((dir / "plain").string(), OpenFailCause::NotSerial, Txt::ConnNotSerial);
    link_com1((dir / "lock").string());
    PosixSerialDevice folder;
    EXPECT_TRUE(folder.open("COM1"));
    EXPECT_EQ(folder.open_report().cause, OpenFailCause::NotSerial);

    // Held by a terminal program that wrote its lock file.
    pid_t other = live_child();
    { std::ofstream(lock_file()) << lock_text(other); }
    expect_cause(pty.slave_path(), OpenFailCause::Busy, Txt::ConnBusyBy);
    end_child(other);
    fs::remove(lock_file());

    // No permission: an ordinary user on a device of the group "kavorcen-serial",
    // first outside the group, then added to it after this login began.
    auto user = test::ordinary_user();
    bool as_root = user && getuid() == 0 && std::system("getent group kavorcen-serial >/dev/null || "
                                                        "groupadd kavorcen-serial >/dev/null 2>&1") == 0;
    if (!as_root) std::cout << "[  SKIPPED ] no permission: needs root to make a user and a group\n";
    if (as_root) {
        std::system("gpasswd -d kavorcen-test kavorcen-serial >/dev/null 2>&1");
        group* g = getgrnam("kavorcen-serial");
        ASSERT_TRUE(g);
        ASSERT_EQ(::chown(pty.slave_path().c_str(), 0, g->gr_gid), 0);
        ::chmod(pty.slave_path().c_str(), 0660);
        link_com1(pty.slave_path());
        auto attempt = [&] {
            return test::run_as(*user, [&] {
                PosixSerialDevice dev;
                dev.open(pty.slave_path());
                return message_for(dev);
            });
        };
        std::string m = attempt();
        EXPECT_NE(m.find(cp1250_to_utf8(txt(Txt::ConnNoPermission))), std::string::npos) << m;
        EXPECT_NE(m.find("sudo usermod -aG kavorcen-serial " + user->name), std::string::npos) << m;
        messages.insert(m);

        ASSERT_EQ(std::system("usermod -aG kavorcen-serial kavorcen-test"), 0);
        std::string again = attempt();  // the child keeps the groups of its "login"
        std::system("gpasswd -d kavorcen-test kavorcen-serial >/dev/null 2>&1");
        std::string relogin = cp1250_to_utf8(txt(Txt::ConnRelogin));
        EXPECT_NE(again.find(relogin.substr(relogin.find("%s") + 2, 20)), std::string::npos) << again;
        EXPECT_NE(again.find("kavorcen-test"), std::string::npos) << again;

        // root:root 0600: joining root would be wrong advice; the device needs a group.
        ASSERT_EQ(::chown(pty.slave_path().c_str(), 0, 0), 0);
        ::chmod(pty.slave_path().c_str(), 0600);
        std::string owner_only = attempt();
        std::string kernel = fs::canonical(pty.slave_path()).filename().string();
        EXPECT_EQ(owner_only.find("usermod -aG root"), std::string::npos) << owner_only;
        EXPECT_NE(owner_only.find("KERNEL==\"" + kernel + "\", GROUP=\"dialout\", MODE=\"0660\""), std::string::npos)
            << owner_only;
        messages.insert(owner_only);
    }
    EXPECT_EQ(messages.size(), as_root ? 5u : 3u);
}

TEST_F(Connection, ordinary_user_connects_disconnects_and_connects_again_on_the_virtual_sign) {
    auto user = test::ordinary_user();
    if (!user) GTEST_SKIP() << "no ordinary user to run as";
    SignSimulator sign{SignOptions{}};
    ASSERT_FALSE(sign.start());
    if (getuid() == 0) ASSERT_EQ(::chown(sign.path().c_str(), user->uid, user->gid), 0);
    // "20E" framed: STX, payload, XOR checksum from 0x72 in hex, ETX.
    const std::string frame = "\x02"
                              "20E"
                              "35\x03";
    std::string result = test::run_as(*user, [&] {
        alarm(5);  // a sign that never answers ends the child, not the test run
        PosixSerialDevice dev;
        for (int round = 0; round < 2; ++round) {
            if (std::error_code e = dev.open(sign.path())) return "open " + std::to_string(round) + ": " + e.message();
            auto s = dev.start_write(reinterpret_cast<const uint8_t*>(frame.data()), frame.size());
            if (s.state != IoStartState::Completed) return std::string("write");
            // The sign's acknowledge comes back on the same line.
            if (dev.wait_for_input() != InputEvent::Received) return std::string("no answer");
            dev.close();
        }
        return std::string("ok");
    });
    EXPECT_EQ(result, "ok");
    EXPECT_TRUE(sign.wait_received(2, 2000));
    sign.stop();
}

TEST_F(Connection, port_link_points_at_the_by_id_name_and_goes_away_for_the_builtin_port) {
    UdevPortDiscovery d;
    fs::path by_id = dir / "by-id-usb-adapter";
    fs::create_symlink(pty.slave_path(), by_id);
    ASSERT_FALSE(d.link_port(3, by_id.string()));
    EXPECT_EQ(fs::read_symlink(dir / "config" / "kavorcen" / "COM3"), by_id);
    EXPECT_EQ(d.linked_device(3), by_id.string());
    EXPECT_TRUE(d.device_present(d.linked_device(3)));
    PosixSerialDevice dev;
    EXPECT_FALSE(dev.open("COM3"));
    dev.close();
    ASSERT_FALSE(d.link_port(3, ""));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "config" / "kavorcen" / "COM3")));
    EXPECT_EQ(d.linked_device(3), "");
    EXPECT_FALSE(d.device_present((dir / "plain-file").string()));
}

}  // namespace
}  // namespace kc
