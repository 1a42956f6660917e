// The extra settings file and the replace-by-rename write under it.
#include "storage/extra_settings_file.h"

#include <gtest/gtest.h>

#include "storage/safe_file.h"
#include "storage/test_program.h"

namespace kc {
namespace {

using test::TempDir;

TEST(ExtraSettings, round_trip_keeps_unknown_keys_and_skips_broken_lines) {
    TempDir dir;
    auto p = test::make_program(dir.path());
    test::write_file(dir / kExtraSettingsName,
                     "# comment\r\nreconnect = 0\r\nbroken line\r\n=novalue\r\nfuture_key=a=b\r\n\r\n");
    const ExtraLoadResult r = load_extra_settings(*p);
    EXPECT_TRUE(r.found);
    EXPECT_EQ(r.bad_lines, (std::vector<int>{3, 4}));
    EXPECT_FALSE(p->extra.get_bool(extra_key::kReconnect, true));
    EXPECT_EQ(p->extra.get("future_key"), "a=b");
    EXPECT_TRUE(p->extra.get_bool("absent", true));

    p->extra.set_bool(extra_key::kReconnect, true);
    ASSERT_FALSE(save_extra_settings(*p));
    auto q = test::make_program(dir.path());
    load_extra_settings(*q);
    EXPECT_EQ(q->extra.all(), p->extra.all());
    EXPECT_FALSE(std::filesystem::exists(dir / (std::string(kExtraSettingsName) + ".tmp")));
}

TEST(ExtraSettings, a_save_keeps_comments_and_lines_not_understood_in_place) {
    TempDir dir;
    auto p = test::make_program(dir.path());
    test::write_file(dir / kExtraSettingsName,
                     "# broker of head office\nhead_office_broker = old:8883\nbroken line\n"
                     "\n# reconnect after a replug\nreconnect=1\nunknown_key=x\nhead_office_station=ST1\n");
    load_extra_settings(*p);
    p->extra.set(extra_key::kHeadOfficeBroker, "new:8883");
    p->extra.erase(extra_key::kHeadOfficeStation);
    p->extra.set("added", "1");
    ASSERT_FALSE(save_extra_settings(*p));
    EXPECT_EQ(test::read_file(dir / kExtraSettingsName),
              "# broker of head office\nhead_office_broker=new:8883\nbroken line\n"
              "\n# reconnect after a replug\nreconnect=1\nunknown_key=x\nadded=1\n");
}

TEST(SafeFile, a_folder_in_the_way_is_reported_and_left_alone) {
    TempDir dir;
    std::filesystem::create_directory(dir / "KavorCen.ini");
    const std::error_code ec = write_file_replacing((dir / "KavorCen.ini").string(), "x\n", true);
    EXPECT_EQ(ec, std::errc::is_a_directory);
    EXPECT_FALSE(file_error_reason(ec).empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "KavorCen.ini"));
}

TEST(SafeFile, a_missing_folder_fails_and_the_old_file_elsewhere_is_untouched) {
    TempDir dir;
    test::write_file(dir / "a.txt", "old");
    EXPECT_TRUE(write_file_replacing((dir / "no" / "a.txt").string(), "new", false));
    EXPECT_EQ(test::read_file(dir / "a.txt"), "old");
    EXPECT_FALSE(write_file_replacing((dir / "a.txt").string(), "new", false));
    EXPECT_EQ(test::read_file(dir / "a.txt"), "new");
}

}  // namespace
}  // namespace kc
