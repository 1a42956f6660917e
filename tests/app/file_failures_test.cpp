// Tests (application core): settings and logs that cannot be written are told to the
// operator, and the old KavorCen.ini stays whole.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/record.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/manual_clock.h"
#include "resources/texts.h"
#include "text/format_text.h"
#include "storage/file_report.h"
#include "storage/logs.h"
#include "storage/settings_file.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes into `name` until the disk takes no more.
void fill_disk(const fs::path& name) {
    FILE* f = std::fopen(name.c_str(), "ab");
    if (!f) return;
    std::string block(1024, 'x');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
}

class FileFailures : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kc_files_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        p.ui = &host;
        p.clock = &clock;
        p.record = std::make_unique<MainRecord>();
        copy_text(p.state.work_directory, sizeof p.state.work_directory, dir.c_str());
    }
    void TearDown() override {
        if (mounted) ::umount(dir.c_str());
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // A 64 KiB tmpfs over the work folder; false where this process may not mount.
    bool mount_small_disk() {
        mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
        return mounted;
    }
    std::string last_message() {
        host.pump();
        return host.messages().empty() ? "" : host.messages().back().text;
    }

    fs::path dir;
    bool mounted = false;
    HeadlessHost host;
    ManualClock clock;
    Program p;
};

TEST_F(FileFailures, saves_on_a_read_only_or_full_disk_are_told_and_keep_the_old_file) {
    if (!mount_small_disk()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    fs::path ini = dir / "KavorCen.ini";
    ASSERT_TRUE(save_settings_locked(p));
    const std::string old = read_all(ini);
    ASSERT_EQ(std::count(old.begin(), old.end(), '\n'), 40);
    EXPECT_TRUE(host.messages().empty());
    p.record->port_number = 7;

    ASSERT_EQ(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    save_settings_locked(p);
    std::string told = last_message();
    EXPECT_NE(told.find(txt(Txt::FileErrReadOnly)), std::string::npos) << told;
    EXPECT_NE(told.find("KavorCen.ini"), std::string::npos) << told;
    EXPECT_EQ(read_all(ini), old);

    ASSERT_EQ(::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT, "size=64k"), 0);
    fill_disk(dir / "filler");
    save_settings_locked(p);
    told = last_message();
    EXPECT_NE(told.find(txt(Txt::FileErrDiskFull)), std::string::npos) << told;
    EXPECT_EQ(read_all(ini), old);
    EXPECT_FALSE(fs::exists(dir / "KavorCen.ini.tmp"));

    // The very first start on a full disk: no file at all rather than a truncated one.
    // (Later than the quiet time after the same cause was told.)
    fs::remove(ini);
    fill_disk(dir / "filler2");
    host.clear_messages();
    clock.advance_seconds(kFileTroubleQuietMs / 1000 + 1);
    p.record.reset();
    ASSERT_EQ(create_record(p), 1);
    EXPECT_FALSE(fs::exists(ini));
    EXPECT_NE(last_message().find(txt(Txt::FileErrDiskFull)), std::string::npos);

    // Room again: the next save is the 40 lines with the value in memory.
    fs::remove(dir / "filler");
    p.record->port_number = 7;
    save_settings_locked(p);
    std::string now = read_all(ini);
    EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 40);
    EXPECT_EQ(now.substr(0, 2), "7\n");
}

TEST_F(FileFailures, a_log_that_cannot_be_written_is_told_once_and_tried_again_later) {
    fs::create_directory(dir / "KavorCb.pod");
    log_traffic_text(p, "abc");
    log_traffic_text(p, "def");
    host.pump();
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, format_text(txt(Txt::ConnLogFailed), (dir / "KavorCb.pod").string(),
                                                   txt(Txt::FileErrIsFolder)));

    fs::remove(dir / "KavorCb.pod");
    log_traffic_text(p, "ghi");
    EXPECT_NE(read_all(dir / "KavorCb.pod").find("ghi"), std::string::npos);
    host.pump();
    EXPECT_EQ(host.messages().size(), 1u);
}

// A full disk met at connect by two logs and the settings file, and a minute later by
// a third log: one box, naming the files once, in their folder, with the cause.
TEST_F(FileFailures, one_cause_met_by_several_files_gives_one_message) {
    if (!mount_small_disk()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    ASSERT_TRUE(save_settings_locked(p));
    fill_disk(dir / "filler");
    log_traffic_text(p, std::string(4096, 'x'));
    log_light_level(p, "120");
    p.record->port_number = 3;
    save_settings_locked(p);
    host.pump();
    ASSERT_EQ(host.messages().size(), 1u);
    const std::string told = host.messages()[0].text;
    EXPECT_EQ(told.substr(0, told.find('\n')),
              format_text(txt(Txt::FileTroubleManyIn), "KavorCb.pod, KavorSw.pod, KavorCen.ini", dir.string(),
                          txt(Txt::FileErrDiskFull)));

    clock.advance_seconds(60);
    log_statistics(p);
    log_traffic_text(p, std::string(4096, 'y'));
    host.pump();
    EXPECT_EQ(host.messages().size(), 1u) << host.messages().back().text;
}

}  // namespace
}  // namespace kc
