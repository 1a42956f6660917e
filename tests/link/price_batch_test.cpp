// Tests (controller exchange): a batch queued while the one it replaces is still being
// acknowledged gets exactly one outcome, and so does the replaced one.
#include <vector>

#include "link/price_batch.h"
#include "link_fixture.h"

namespace kc::test {
namespace {

class PriceBatchTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        add_batch_outcome_hook(p, [this](Program&, const BatchOutcome& o) { outcomes.push_back(o); });
    }
    // The sign acknowledges `count` commands, one polling pass each.
    void acknowledge(int count) {
        for (int i = 0; i < count; ++i) {
            pass();
            ASSERT_NE(rec().current_slot, 0) << "command " << i;
            arrive(kAckByte);
        }
    }
    std::vector<BatchOutcome> of(uint64_t id) const {
        std::vector<BatchOutcome> found;
        for (const auto& o : outcomes)
            if (o.batch_id == id) found.push_back(o);
        return found;
    }
    std::vector<BatchOutcome> outcomes;
};

class RacingClose : public PriceBatchTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RacingClose, older_close_answered_while_a_new_batch_is_queued_settles_only_the_older) {
    struct Case {
        bool confirmation;
        OutcomeKind newer;
    };
    const Case c = GetParam() ? Case{true, OutcomeKind::confirmed} : Case{false, OutcomeKind::acknowledged};
    {
        connect();
        set_price_confirmation(p, c.confirmation);
        PriceBatch older;
        older.prices = {"1", "2", "3", "4", "5"};
        const QueueResult first = queue_price_batch(p, older, BatchSource::central);
        ASSERT_TRUE(first);
        acknowledge(5);
        pass();
        ASSERT_EQ(rec().current_slot, 46);  // the older batch's "20E" is in flight

        // Its acknowledge reaches the tracker just as the newer batch is being queued;
        // the reader frees slot 46 once the queueing lets go of the slots.
        set_price_queue_test_hook(p, [this] { price_batch_acknowledged(p, 46); });
        const QueueResult second = queue_price_batch(p, PriceBatch{}, BatchSource::central);
        set_price_queue_test_hook(p, nullptr);
        ASSERT_TRUE(second);
        {
            LockGuard link(p.state.link_lock);
            LockGuard reply(p.state.reply_lock);
            complete_command(p);
        }
        EXPECT_TRUE(of(second.batch_id).empty()) << "settled before its frames went out";

        acknowledge(6);  // the five prices and the newer batch's own "20E"
        if (c.confirmation) {
            pass();
            arrive(frame("C" + std::string(30, '0')));
            pass();
            arrive(frame("M00000"));
        }
        const auto a = of(first.batch_id), b = of(second.batch_id);
        ASSERT_EQ(a.size(), 1u);
        EXPECT_EQ(a[0].kind, OutcomeKind::not_confirmed);
        EXPECT_EQ(a[0].reason, txt(Txt::PriceReasonSuperseded));
        ASSERT_EQ(b.size(), 1u);
        EXPECT_EQ(b[0].kind, c.newer);
        for (int n = 1; n <= 47; ++n) EXPECT_FALSE(slot_pending(p.state, n)) << n;
    }
}

INSTANTIATE_TEST_SUITE_P(Confirmation, RacingClose, ::testing::Bool());

TEST_F(PriceBatchTest, watch_read_reaches_its_hook_alone_and_gives_way_to_a_batch) {
    connect();
    std::vector<SignReading> readings;
    set_sign_reading_hook(p, [&](Program&, const SignReading& r) { readings.push_back(r); });
    const std::string blank_c = "C" + std::string(30, '0');

    ASSERT_TRUE(queue_sign_reading(p));
    EXPECT_FALSE(queue_sign_reading(p)) << "its slots are still pending";
    pass();
    arrive(frame(blank_c));
    pass();
    arrive(frame("M10000"));
    ASSERT_EQ(readings.size(), 1u);
    EXPECT_TRUE(readings[0].blink[0]);
    EXPECT_EQ(readings[0].shown()[0], "");
    EXPECT_TRUE(outcomes.empty()) << "a watch read is no outcome and no journal line";

    // A batch queued between the two answers takes the slots: the read is dropped and
    // the batch is confirmed as always.
    ASSERT_TRUE(queue_sign_reading(p));
    pass();
    arrive(frame(blank_c));
    const QueueResult batch = queue_price_batch(p, PriceBatch{}, BatchSource::central);
    ASSERT_TRUE(batch);
    EXPECT_FALSE(queue_sign_reading(p)) << "a batch is in flight";
    acknowledge(6);
    pass();
    arrive(frame(blank_c));
    pass();
    arrive(frame("M00000"));
    price_reply_taken(p, 'M');  // a later "20M" answer, of anyone's
    EXPECT_EQ(readings.size(), 1u);
    ASSERT_EQ(of(batch.batch_id).size(), 1u);
    EXPECT_EQ(of(batch.batch_id)[0].kind, OutcomeKind::confirmed);

    // Never in test mode or beside a script.
    for (std::atomic<bool>* flag : {&rec().test_mode, &rec().script_running}) {
        *flag = true;
        EXPECT_FALSE(queue_sign_reading(p));
        *flag = false;
    }
    EXPECT_TRUE(queue_sign_reading(p));
    set_sign_reading_hook(p, {});
}

TEST(PriceText, padding_reaches_all_three_places_and_never_moves_a_digit) {
    const std::pair<const char*, const char*> cases[] = {
        {"12", "12 "}, {"", "   "}, {".5", ".5 "}, {"1..", "1.. "}, {"4.59", "4.59"}, {"1.2.3.", "1.2.3."}, {"- ", "-  "},
    };
    for (const auto& [price, padded] : cases) EXPECT_EQ(whole_field_text(price), padded) << price;
    EXPECT_EQ(normalise_price_text("6,29"), "6.29");
    EXPECT_TRUE(check_price_text("6,29"));
    EXPECT_EQ(check_price_text("6;29").problem, PriceProblem::bad_character);
}

}  // namespace
}  // namespace kc::test
