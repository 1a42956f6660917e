// Tests (end to end): a price batch confirmed by reading the sign back, a stuck field, a
// sign that does not answer the read-back, the journal, and planned changes.
#include <ctime>
#include <fstream>
#include <sstream>

#include "e2e_fixture.h"
#include "link/price_batch.h"
#include "panel/price_desk.h"
#include "preview/price_preview.h"
#include "storage/price_files.h"
#include "text/cp1250.h"

namespace kc::test {
namespace {

std::string cp1250(const char* utf8) { return utf8_to_cp1250(utf8); }

std::string read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class PriceEndToEnd : public EndToEnd {
protected:
    std::string outcome_line() { return panel_text(p, kIdPriceOutcome); }

    void send(const std::array<const char*, 5>& prices, int blink_field = 0) {
        for (int n = 1; n <= 5; ++n) host.type(kPanelWindow, price_edit_id(n), prices[n - 1]);
        for (int n = 1; n <= 5; ++n) host.set_check(kPanelWindow, kIdBlink1 + n - 1, n == blink_field);
        host.press(kPanelWindow, kIdSendPrices);
    }
    // Pumps (reply timers `speedup` times faster) until the line under the preview changes.
    bool wait_outcome(int speedup = 1) {
        return pump_with_timers([&] { return !outcome_line().empty() && idle(); }, 8000, speedup);
    }
    std::vector<JournalEntry> journal() {
        std::vector<JournalEntry> entries;
        read_journal(file(kJournalName).string(), entries);
        return entries;
    }
    // Pumps until the journal holds `count` entries and the queue is idle.
    bool wait_journal(size_t count) {
        return pump_with_timers([&] { return journal().size() == count && idle(); }, 8000);
    }
    // Field n (1..5) as the sign shows it, all three places ("12 ").
    std::string sign_field(int n) {
        uint8_t places[3];
        for (int i = 0; i < 3; ++i) places[i] = wire_to_place(sign->state().segments[n - 1][i]);
        return places_to_text(places, 3);
    }
    std::vector<std::string> price_frames() {
        std::vector<std::string> out;
        for (const auto& f : sign->received())
            if (f.payload.size() >= 3 && f.payload[0] == '2' && f.payload[1] != '0') out.push_back(f.payload);
        return out;
    }
};

TEST_F(PriceEndToEnd, healthy_sign_confirms_and_the_journal_says_so) {
    send({"4.59", "5.19", "3.09", "6.00", "12"}, 1);
    ASSERT_TRUE(wait_outcome());
    EXPECT_EQ(outcome_line().rfind(cp1250("Potwierdzone przez wieżę "), 0), 0u) << outcome_line();
    EXPECT_TRUE(host.messages().empty());

    auto entries = journal();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, "panel");
    EXPECT_EQ(entries[0].outcome, txt(Txt::OutcomeConfirmed));
    EXPECT_EQ(entries[0].prices[0], "4.59");
    EXPECT_EQ(entries[0].blink, "M----");
    EXPECT_EQ(entries[0].shown[4], "12");
    EXPECT_EQ(entries[0].shown_blink, "M----");
    // The journal opens with its header line.
    EXPECT_EQ(read_all(file(kJournalName)).rfind(journal_header(), 0), 0u);

    // "Czytaj z wieży" records what the sign holds.
    host.menu(kCmdReadback);
    ASSERT_TRUE(wait_idle(5000));
    ASSERT_TRUE(host.pump_until([&] { return journal().size() == 2; }, 2000))
        << journal().size() << " " << read_all(file(kJournalName));
    EXPECT_EQ(journal()[1].source, "odczyt");
    EXPECT_EQ(journal()[1].outcome, txt(Txt::OutcomeReadBack));
    EXPECT_EQ(journal()[1].shown[0], "4.59");
}

class StuckFieldEndToEnd : public PriceEndToEnd {
protected:
    SignOptions sign_options() override {
        SignOptions o;
        o.stuck_field = 2;
        sign_apply_price(o.initial.segments[1], "4.99");
        return o;
    }
};

TEST_F(StuckFieldEndToEnd, stuck_field_two_is_named_with_both_values_and_journaled_as_mismatch) {
    send({"4.59", "5.19", "3.09", "6.00", "12"});
    ASSERT_TRUE(wait_outcome());
    EXPECT_EQ(outcome_line(), cp1250("Wieża pokazuje inne ceny: 2 (BBB)"));
    ASSERT_TRUE(host.pump_until([&] { return !host.messages().empty(); }, 2000));
    EXPECT_EQ(host.messages()[0].caption, cp1250("Wieża pokazuje inne ceny"));
    EXPECT_EQ(host.messages()[0].text,
              cp1250("Cena 2 (BBB): wysłano 5.19 (nie mruga), wieża pokazuje 4.99 (nie mruga)"));
    // The preview shows what the sign holds.
    EXPECT_EQ(p.state.price_segments[1][0], wire_to_place(sign->state().segments[1][0]));

    auto entries = journal();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].outcome, txt(Txt::OutcomeMismatch));
    EXPECT_EQ(entries[0].prices[1], "5.19");
    EXPECT_EQ(entries[0].shown[1], "4.99");
    EXPECT_EQ(entries[0].note, "2");
}

class MutedReadbackEndToEnd : public PriceEndToEnd {
protected:
    SignOptions sign_options() override {
        SignOptions o;
        o.mute_payload = "20C";
        return o;
    }
};

TEST_F(MutedReadbackEndToEnd, unanswered_readback_is_not_confirmed_never_a_mismatch) {
    send({"1", "2", "3", "4", "5"});
    ASSERT_TRUE(wait_outcome(20));
    EXPECT_EQ(outcome_line(), cp1250("Nie potwierdzono"));
    EXPECT_TRUE(host.messages().empty());
    auto entries = journal();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].outcome, txt(Txt::OutcomeNotConfirmed));
    EXPECT_EQ(entries[0].note, txt(Txt::PriceReasonNoAnswer));
}

TEST_F(PriceEndToEnd, confirmation_switched_off_sends_the_batch_alone) {
    set_price_confirmation(p, false);
    send({"1", "2", "3", "4", "5"});
    ASSERT_TRUE(wait_outcome());
    EXPECT_EQ(sign->received_count(), 6u);
    EXPECT_EQ(journal().at(0).outcome, txt(Txt::OutcomeAcknowledged));
}

TEST_F(PriceEndToEnd, beside_a_script_the_batch_is_not_read_back_and_the_journal_says_why) {
    std::ofstream(file("pause.txt"), std::ios::binary) << "21C1.00\r\n{S60000}\r\n";
    host.type(kPanelWindow, kIdScriptPath, file("pause.txt").string());
    host.press(kPanelWindow, kIdScriptButton);
    ASSERT_TRUE(record().script_running);
    ASSERT_TRUE(host.pump_until([&] { return sign->received_count() >= 1 && idle(); }, 3000));
    send({"1", "2", "3", "4", "5"});
    ASSERT_TRUE(wait_outcome());
    EXPECT_EQ(outcome_line().rfind(cp1250("Przyjęte przez wieżę "), 0), 0u) << outcome_line();
    host.press(kPanelWindow, kIdScriptButton);
    ASSERT_TRUE(host.pump_until([&] { return journal().size() == 3; }, 2000));
    auto entries = journal();
    EXPECT_EQ(entries[0].source, "skrypt");
    EXPECT_EQ(entries[0].outcome, "start");
    EXPECT_EQ(entries[1].source, "panel");
    EXPECT_EQ(entries[1].outcome, txt(Txt::OutcomeAcknowledged));
    EXPECT_EQ(entries[1].note, txt(Txt::PriceReasonScript));
    EXPECT_EQ(entries[2].outcome, "stop");
    for (const auto& f : sign->received()) EXPECT_NE(f.payload, "20C");
}

TEST_F(PriceEndToEnd, other_sources_are_refused_without_queueing_while_disconnected_or_invalid) {
    PriceBatch bad;
    bad.prices[2] = "1234567";
    QueueResult r = queue_price_batch(p, bad, BatchSource::central);
    EXPECT_EQ(r.refusal, QueueRefusal::invalid);
    EXPECT_EQ(r.check.field, 3);
    bad.prices[2] = "4a59";
    EXPECT_EQ(queue_price_batch(p, bad, BatchSource::central).check.problem, PriceProblem::bad_character);
    host.menu(kCmdDisconnect);
    EXPECT_EQ(queue_price_batch(p, PriceBatch{}, BatchSource::central).refusal, QueueRefusal::not_connected);
    host.menu(kCmdTest);
    EXPECT_EQ(queue_price_batch(p, PriceBatch{}, BatchSource::central).refusal, QueueRefusal::test_mode);
    for (int n = 1; n <= 47; ++n) EXPECT_FALSE(slot_pending(p.state, n)) << n;
}

TEST_F(PriceEndToEnd, panel_judges_the_whole_field_and_takes_a_comma_as_the_point) {
    struct Case {
        const char* typed;  // field 5, over what the row before left on the sign
        const char* outcome;
        const char* sign;   // field 5 on the sign afterwards
        const char* frame;  // field 5's frame
    };
    const Case cases[] = {
        {"4.59", "potwierdzone", "4.59", "25C4.59"},
        {"12", "niezgodne", "129", "25C12"},   // the sign keeps the place "12" does not reach
        {"", "niezgodne", "129", "25C"},       // an empty edit changes nothing on the sign
        {"6,29", "potwierdzone", "6.29", "25C6.29"},
        {"12 ", "potwierdzone", "12 ", "25C12 "},  // a blank blanks the place
    };
    size_t entries = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.typed);
        host.clear_messages();
        sign->clear_received();
        send({"", "", "", "", k.typed});
        ASSERT_TRUE(wait_journal(++entries));
        const JournalEntry e = journal().back();
        EXPECT_EQ(e.outcome, cp1250(k.outcome));
        EXPECT_EQ(sign_field(5), k.sign);
        ASSERT_EQ(price_frames().size(), 5u);
        EXPECT_EQ(price_frames()[4], k.frame);
        if (e.outcome == txt(Txt::OutcomeMismatch)) {
            EXPECT_EQ(e.note, "5");
            ASSERT_TRUE(host.pump_until([&] { return !host.messages().empty(); }, 2000));
            EXPECT_NE(host.messages()[0].text.find(cp1250(", wieża pokazuje 129 (nie mruga)")), std::string::npos)
                << host.messages()[0].text;
        } else {
            EXPECT_TRUE(host.messages().empty());
        }
    }
    // The edit shows the point that went to the sign.
    send({"", "", "", "", "6,29"});
    ASSERT_TRUE(wait_journal(++entries));
    EXPECT_EQ(panel_text(p, price_edit_id(5)), "6.29");

    // A character the digits cannot show: the schedule's message, nothing queued.
    host.clear_messages();
    sign->clear_received();
    send({"", "", "", "", "4a59"});
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text, cp1250("Cena 5: dozwolone są tylko cyfry, kropka, minus i spacja."));
    EXPECT_TRUE(idle());
    EXPECT_EQ(sign->received_count(), 0u);
}

TEST_F(PriceEndToEnd, head_office_sets_the_whole_field_an_empty_price_blanks_it) {
    send({"", "", "", "", "127"});
    ASSERT_TRUE(wait_journal(1));
    struct Case {
        const char* price;
        const char* sign;
    };
    size_t entries = 1;
    for (const Case& k : {Case{"12", "12 "}, Case{"", "   "}, Case{"6,29", "6.29"}}) {
        SCOPED_TRACE(k.price);
        PriceBatch b;
        b.prices[4] = k.price;
        ASSERT_TRUE(queue_price_batch(p, b, BatchSource::central));
        ASSERT_TRUE(wait_journal(++entries));
        EXPECT_EQ(journal().back().source, "centrala");
        EXPECT_EQ(journal().back().outcome, txt(Txt::OutcomeConfirmed));
        EXPECT_EQ(sign_field(5), k.sign);
    }
}

// ---- planned changes --------------------------------------------------------------

class ScheduleEndToEnd : public PriceEndToEnd {
protected:
    void SetUp() override {
        ::setenv("TZ", "Europe/Warsaw", 1);
        tzset();
        PriceEndToEnd::SetUp();
    }
    void TearDown() override {
        PriceEndToEnd::TearDown();
        ::unsetenv("TZ");
        tzset();
    }
    void write_schedule(const std::string& lines) {
        std::ofstream(file(kScheduleName), std::ios::binary) << lines;
        host.procedure(kPanelWindow)->on_command(kCmdPriceScheduleChanged);
    }
    size_t price_batches_received() {
        size_t n = 0;
        for (const auto& f : sign->received())
            if (f.payload == "20E") ++n;
        return n;
    }
    // Moves the manual clock to `instant` and lets the schedule timer run.
    // The first second runs on its own, so the sign has answered a status query before
    // a minute of reply time-outs can pass in one jump of the manual clock.
    void at(int64_t instant) {
        clock.set_calendar_seconds(instant);
        host.advance(1000);
        wait_idle(3000);
        host.advance(59000);
        wait_idle(3000);
    }
};

TEST_F(ScheduleEndToEnd, change_at_midnight_fires_once_at_that_second) {
    const int64_t midnight = local_instant(2030, 1, 1, 0, 0, 0);
    clock.set_calendar_seconds(midnight - 3600);
    write_schedule("2030-01-01;00:00:00;7.77;;;;;-----\n");
    at(midnight - 1);
    EXPECT_EQ(price_batches_received(), 0u);
    // The timer was set for the due second.
    EXPECT_LE(host.timer_period(kPanelWindow, kTimerPriceSchedule), 1000);
    at(midnight);
    EXPECT_EQ(price_batches_received(), 1u);
    at(midnight + 1);
    at(midnight + 3600);
    EXPECT_EQ(price_batches_received(), 1u);
    ASSERT_TRUE(wait_outcome());
    auto entries = journal();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].source, "harmonogram");
    EXPECT_EQ(entries[0].prices[0], "7.77");
    EXPECT_TRUE(host.messages().empty()) << host.messages()[0].text;  // on time: nothing to tell
}

TEST_F(ScheduleEndToEnd, changes_due_while_disconnected_apply_the_latest_on_connect_and_survive_restart) {
    const int64_t start = local_instant(2030, 3, 1, 8, 0, 0);
    clock.set_calendar_seconds(start);
    host.menu(kCmdDisconnect);
    write_schedule("2030-03-01;09:00;1.11;;;;;-----\n2030-03-01;10:00;2.22;;;;;M----\n2030-03-02;10:00;3.33;;;;;-----\n");
    at(local_instant(2030, 3, 1, 11, 0, 0));
    EXPECT_EQ(price_batches_received(), 0u);

    host.menu(kCmdConnect);
    ASSERT_TRUE(record().connected.load());
    ASSERT_TRUE(wait_outcome());
    ASSERT_EQ(price_batches_received(), 1u);
    bool latest = false;
    for (const auto& f : sign->received()) latest |= f.payload == "21M2.22";
    EXPECT_TRUE(latest);
    ASSERT_FALSE(host.messages().empty());
    EXPECT_NE(host.messages()[0].text.find("2030-03-01 10:00:00"), std::string::npos);

    // A new start finds the plan and knows the change was applied.
    EXPECT_NE(read_all(file("KavorCen-dodatkowe.ini"))
                  .find("price_schedule_done=" + std::to_string(local_instant(2030, 3, 1, 11, 0, 0))),
              std::string::npos);
    Schedule again;
    load_schedule(file(kScheduleName).string(), again);
    EXPECT_EQ(again.entries.size(), 3u);
}

TEST_F(ScheduleEndToEnd, scheduled_prices_set_whole_fields_and_are_what_the_next_send_repeats) {
    const int64_t noon = local_instant(2030, 1, 1, 12, 0, 0);
    clock.set_calendar_seconds(noon - 3600);
    send({"1.11", "2.22", "3.33", "4.44", "127"});
    ASSERT_TRUE(wait_journal(1));
    // A change with no price at all is not taken (the later one here), so it never
    // blanks the sign.
    write_schedule("2030-01-01;11:59:00;7.77;6,29;;;12;-M---\n2030-01-01;12:00:00;;;;;;-----\n");
    at(noon);
    ASSERT_TRUE(wait_journal(2));
    EXPECT_EQ(price_batches_received(), 2u);
    EXPECT_EQ(journal().back().source, "harmonogram");
    EXPECT_EQ(journal().back().outcome, txt(Txt::OutcomeConfirmed));
    EXPECT_EQ(sign_field(2), "6.29");
    EXPECT_EQ(sign_field(3), "   ");
    EXPECT_EQ(sign_field(5), "12 ");

    // The edits hold the prices in force: changing price 1 sends the scheduled rest.
    EXPECT_EQ(panel_text(p, price_edit_id(2)), "6.29");
    EXPECT_TRUE(host.controls().checked(kPanelWindow, kIdBlink1 + 1));
    sign->clear_received();
    host.type(kPanelWindow, price_edit_id(1), "7.70");
    host.press(kPanelWindow, kIdSendPrices);
    ASSERT_TRUE(wait_journal(3));
    EXPECT_EQ(price_frames(), (std::vector<std::string>{"21C7.70", "22M6.29", "23C", "24C", "25C12"}));
    EXPECT_EQ(journal().back().outcome, txt(Txt::OutcomeConfirmed));
}

}  // namespace
}  // namespace kc::test
