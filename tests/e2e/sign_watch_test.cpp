// Tests (end to end): the sign watch against a virtual sign that goes blank behind the
// program's back: found at once after link-up and on its period, reported, restored and
// confirmed, only reported with restoring off, and no more than three restores an hour.
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "app/sign_watch.h"
#include "app/station_events.h"
#include "e2e_fixture.h"
#include "storage/price_files.h"
#include "text/cp1250.h"

namespace kc::test {
namespace {

const char* const kPrices[5] = {"4.59", "5.19", "3.09", "6.00", "12"};

class SignWatchEndToEnd : public EndToEnd {
protected:
    bool connect_in_setup() override { return false; }

    void SetUp() override {
        EndToEnd::SetUp();
        hook_ = add_station_event_hook(p, [this](const StationEvent& e) {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
        });
        p.extra.set(extra_key::kSignWatch, "1");
        set_sign_watch_test_period(400);
    }
    void TearDown() override {
        set_sign_watch_test_period(0);
        remove_station_event_hook(p, hook_);
        EndToEnd::TearDown();
    }

    std::vector<std::string> event_kinds() {
        std::lock_guard lock(mutex_);
        std::vector<std::string> out;
        for (const auto& e : events_) out.push_back(e.kind);
        return out;
    }
    size_t count(const char* kind) {
        auto k = event_kinds();
        return static_cast<size_t>(std::count(k.begin(), k.end(), kind));
    }
    StationEvent first(const char* kind) {
        std::lock_guard lock(mutex_);
        for (const auto& e : events_)
            if (e.kind == kind) return e;
        return {};
    }
    std::vector<JournalEntry> journal() {
        std::vector<JournalEntry> entries;
        read_journal(file(kJournalName).string(), entries);
        return entries;
    }
    std::vector<std::string> sources() {
        std::vector<std::string> out;
        for (const auto& e : journal()) out.push_back(e.source);
        return out;
    }
    bool wait(const std::function<bool()>& done) { return pump_with_timers(done, 15000); }
    size_t queries() {
        size_t n = 0;
        for (const auto& f : sign->received()) n += f.payload == "20C";
        return n;
    }
    // Connects, sends the prices as head office would and waits for their confirmation.
    void connect_and_confirm() {
        host.menu(kCmdConnect);
        ASSERT_TRUE(record().connected.load());
        PriceBatch b;
        for (int f = 0; f < 5; ++f) b.prices[f] = kPrices[f];
        b.blink[0] = true;
        ASSERT_TRUE(queue_price_batch(p, b, BatchSource::central));
        ASSERT_TRUE(wait([&] { return !p.extra.get(extra_key::kConfirmedPrices).empty(); }));
        EXPECT_EQ(p.extra.get(extra_key::kConfirmedPrices), "M----;4.59;5.19;3.09;6.00;12");
        std::ifstream in(file("KavorCen-dodatkowe.ini"));
        const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(saved.find("confirmed_prices=M----;4.59;5.19;3.09;6.00;12\n"), std::string::npos) << saved;
    }
    // Blanks the sign and pumps until the journal holds `entries` lines and the link is idle.
    bool blank_and_wait(size_t entries) {
        sign->tamper_now();
        return wait([&] { return journal().size() == entries && idle(); });
    }

    int hook_ = 0;
    std::mutex mutex_;
    std::vector<StationEvent> events_;
};

TEST_F(SignWatchEndToEnd, blank_sign_is_reported_restored_and_confirmed) {
    p.extra.set(extra_key::kRestorePrices, "1");
    connect_and_confirm();
    ASSERT_TRUE(blank_and_wait(3)) << journal().size();

    const auto entries = journal();
    EXPECT_EQ(entries[0].source, "centrala");
    EXPECT_EQ(entries[1].source, "kontrola");
    EXPECT_EQ(entries[1].outcome, txt(Txt::OutcomeMismatch));
    EXPECT_EQ(entries[1].prices[0], "4.59");  // what was confirmed
    EXPECT_EQ(entries[1].shown[0], "");       // what the sign shows
    EXPECT_EQ(entries[1].note, "1 2 3 4 5");
    EXPECT_EQ(entries[2].source, utf8_to_cp1250("przywrócenie"));
    EXPECT_EQ(entries[2].outcome, txt(Txt::OutcomeConfirmed));
    EXPECT_EQ(entries[2].shown[4], "12");
    EXPECT_EQ(entries[2].shown_blink, "M----");
    EXPECT_EQ(sign->state().blink[0], true);

    ASSERT_TRUE(wait([&] { return count(event_word::kPricesRestored) == 1; }));
    const StationEvent differs = first(event_word::kSignDiffers);
    EXPECT_EQ(differs.fields, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(differs.has_sign);
    EXPECT_EQ(differs.sign.prices[0], "");
    EXPECT_EQ(first(event_word::kPricesRestored).sign.prices[0], "4.59");
    EXPECT_EQ(last_sign_watch(p), clock.calendar_seconds());

    // Further reads find the sign as confirmed and write nothing.
    const size_t seen = queries();
    ASSERT_TRUE(wait([&] { return queries() >= seen + 2 && idle(); }));
    EXPECT_EQ(journal().size(), 3u);
    EXPECT_EQ(count(event_word::kSignDiffers), 1u);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(SignWatchEndToEnd, restoring_off_only_reports_once_and_leaves_the_sign) {
    connect_and_confirm();
    ASSERT_TRUE(blank_and_wait(2));
    EXPECT_EQ(journal()[1].source, "kontrola");
    EXPECT_EQ(panel_text(p, kIdPriceOutcome), utf8_to_cp1250("Wieża pokazuje inne ceny niż potwierdzone (00:00)"));
    EXPECT_EQ(count(event_word::kSignDiffers), 1u);

    // The same difference read again is not news; nothing is sent to the sign.
    sign->clear_received();
    ASSERT_TRUE(wait([&] { return queries() >= 2 && idle(); }));
    for (const auto& f : sign->received())
        EXPECT_FALSE(f.payload.size() >= 3 && f.payload[0] == '2' && f.payload[1] != '0') << f.payload;
    EXPECT_EQ(journal().size(), 2u);
    EXPECT_EQ(count(event_word::kSignDiffers), 1u);
    EXPECT_EQ(count(event_word::kPricesRestored), 0u);
    EXPECT_EQ(sign->state().segments[0][0], 0);
}

TEST_F(SignWatchEndToEnd, prices_the_sign_took_unconfirmed_leave_the_watch_nothing_to_restore) {
    p.extra.set(extra_key::kRestorePrices, "1");
    connect_and_confirm();
    set_price_confirmation(p, false);
    PriceBatch newer;
    newer.prices = {"1", "2", "3", "4", "5"};
    ASSERT_TRUE(queue_price_batch(p, newer, BatchSource::central));
    ASSERT_TRUE(wait([&] { return p.extra.get(extra_key::kConfirmedPrices).empty() && idle(); }));
    sign->clear_received();
    sign->tamper_now();
    // Two status queries (a second each) span five watch periods: none reads the sign.
    auto status_queries = [&] {
        size_t n = 0;
        for (const auto& f : sign->received()) n += f.payload == "20S";
        return n;
    };
    const size_t seen = status_queries();
    ASSERT_TRUE(wait([&] { return status_queries() >= seen + 2 && idle(); }));
    EXPECT_LE(queries(), 1u) << "at most a read queued just before the prices were withdrawn";
    EXPECT_EQ(sources(), (std::vector<std::string>{"centrala", "centrala"}));
    EXPECT_EQ(count(event_word::kSignDiffers), 0u);
}

TEST_F(SignWatchEndToEnd, three_restores_an_hour_then_only_a_report) {
    p.extra.set(extra_key::kRestorePrices, "1");
    connect_and_confirm();
    size_t entries = 1;
    for (int restore = 1; restore <= 3; ++restore) {
        SCOPED_TRACE(restore);
        entries += 2;  // kontrola, przywrócenie
        ASSERT_TRUE(blank_and_wait(entries)) << journal().size();
        EXPECT_EQ(journal().back().outcome, txt(Txt::OutcomeConfirmed));
    }
    ASSERT_TRUE(blank_and_wait(++entries));
    EXPECT_EQ(journal().back().source, "kontrola");
    ASSERT_TRUE(wait([&] { return count(event_word::kRestoreLimit) == 1; }));

    const size_t seen = queries();
    ASSERT_TRUE(wait([&] { return queries() >= seen + 2 && idle(); }));
    EXPECT_EQ(journal().size(), entries);
    EXPECT_EQ(count(event_word::kRestoreLimit), 1u);
    EXPECT_EQ(count(event_word::kPricesRestored), 3u);
    EXPECT_EQ(count(event_word::kSignDiffers), 4u);
}

TEST_F(SignWatchEndToEnd, link_up_reads_at_once_against_prices_kept_from_before) {
    set_sign_watch_test_period(0);  // ten minutes: only the link-up read happens here
    p.extra.set(extra_key::kConfirmedPrices, "-----;1.11;2.22;3.33;4.44;5.55");
    host.menu(kCmdConnect);
    ASSERT_TRUE(wait([&] { return journal().size() == 1 && idle(); }));
    EXPECT_EQ(journal()[0].source, "kontrola");
    EXPECT_EQ(journal()[0].prices[4], "5.55");
    EXPECT_EQ(queries(), 1u);
    host.menu(kCmdDisconnect);
    std::vector<std::string> kinds;
    for (const auto& k : event_kinds())
        if (k == event_word::kSignLinkUp || k == event_word::kSignDiffers || k == event_word::kSignLinkDown)
            kinds.push_back(k);
    ASSERT_EQ(kinds.size(), 3u);
    EXPECT_EQ(kinds[0], event_word::kSignLinkUp);
    EXPECT_EQ(kinds[1], event_word::kSignDiffers);
    EXPECT_EQ(kinds[2], event_word::kSignLinkDown);
    EXPECT_EQ(first(event_word::kSignLinkDown).detail, txt(Txt::LinkEventDisconnected));
}

}  // namespace
}  // namespace kc::test
