// Settings dialog tests: dialogs 140 "Historia cen" and 141 "Harmonogram cen".
#include "dialog_fixture.h"
#include "dialogs/price_history_dialog.h"
#include "dialogs/price_schedule_dialog.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/texts.h"

#include <sstream>

namespace kc {
namespace {

class PriceDialogs : public DialogTest {
protected:
    std::string schedule_file() {
        std::ifstream in(work_file_path(p, kScheduleName), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void edit_change(WindowId w, const char* day, const char* time, const char* price1, bool blink1) {
        host.type(w, kIdScheduleDate, day);
        host.type(w, kIdScheduleTime, time);
        host.type(w, kIdSchedulePrice1, price1);
        host.set_check(w, kIdScheduleBlink1, blink1);
    }
};

TEST_F(PriceDialogs, schedule_window_adds_changes_and_deletes_and_refuses_what_the_panel_would_not_send) {
    PriceScheduleDialog dialog(p);
    host.on_dialog(kDialogPriceSchedule, [&](WindowId w) {
        edit_change(w, "", "06:00", "1234567", false);
        host.press(w, kIdScheduleAdd);
        edit_change(w, "", "6:00", "4.59", false);
        host.press(w, kIdScheduleAdd);
        edit_change(w, "", "06:00", "", false);  // no price at all
        host.press(w, kIdScheduleAdd);
        ASSERT_EQ(host.messages().size(), 3u);
        EXPECT_EQ(host.messages()[0].text, cp("Cena 1: więcej niż 6 znaków."));
        EXPECT_EQ(host.messages()[1].text, txt(Txt::MsgScheduleBadTime));
        EXPECT_EQ(host.messages()[2].text, cp("Podaj co najmniej jedną cenę."));
        EXPECT_FALSE(std::filesystem::exists(work_file_path(p, kScheduleName)));

        edit_change(w, "", "06:00", "4.59", false);
        host.press(w, kIdScheduleAdd);
        edit_change(w, "2030-12-24", "00:00", "5.19", true);
        host.press(w, kIdScheduleAdd);
        ASSERT_EQ(host.controls().items(w, kIdScheduleList).size(), 2u);

        host.select(w, kIdScheduleList, 1);
        host.press(w, kIdScheduleList);
        EXPECT_EQ(host.controls().text(w, kIdScheduleDate), "2030-12-24");
        EXPECT_TRUE(host.controls().checked(w, kIdScheduleBlink1));
        host.type(w, kIdSchedulePrice1 + 4, "9.99");
        host.press(w, kIdScheduleChange);
        host.select(w, kIdScheduleList, 0);
        host.press(w, kIdScheduleDelete);
        host.press(w, kIdCancel);
    });
    host.run_dialog(kDialogPriceSchedule, dialog);
    EXPECT_EQ(host.messages().size(), 3u);
    const std::string text = schedule_file();
    EXPECT_NE(text.find("\n2030-12-24;00:00:00;5.19;;;;9.99;M----\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\ncodziennie;"), std::string::npos) << text;
}

TEST_F(PriceDialogs, history_window_lists_newest_first_filters_by_day_and_reports_broken_lines_once) {
    JournalEntry e;
    e.source = "panel";
    e.prices = {"4.59", "", "", "", ""};
    e.blink = "-----";
    e.outcome = "potwierdzone";
    e.when = LocalTime{2026, 12, 7, 23, 59, 59};
    ASSERT_FALSE(append_journal(p, e));
    e.when = LocalTime{2026, 12, 8, 0, 0, 0};
    e.source = "harmonogram";
    ASSERT_FALSE(append_journal(p, e));
    std::ofstream(work_file_path(p, kJournalName), std::ios::binary | std::ios::app) << "nonsense\r\n";

    PriceHistoryDialog dialog(p);
    host.on_dialog(kDialogPriceHistory, [&](WindowId w) {
        auto items = host.controls().items(w, kIdHistoryList);
        ASSERT_EQ(items.size(), 2u);
        EXPECT_EQ(items[0].text.rfind("2026-12-08 00:00:00  harmonogram", 0), 0u) << items[0].text;
        host.type(w, kIdHistoryDate, "2026-12-07");
        host.press(w, kIdHistoryShow);
        items = host.controls().items(w, kIdHistoryList);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].text.rfind("2026-12-07 23:59:59  panel", 0), 0u);
        host.press(w, kIdCancel);
    });
    host.run_dialog(kDialogPriceHistory, dialog);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_NE(host.messages()[0].text.find(": 4"), std::string::npos) << host.messages()[0].text;
}

}  // namespace
}  // namespace kc
