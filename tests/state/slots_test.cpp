// Application core tests: the command slot table.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

#include "state/state.h"

namespace kc {
namespace {

struct SlotsTest : ::testing::Test {
    SlotsTest() { p->record = std::make_unique<MainRecord>(); }
    std::unique_ptr<Program> p = std::make_unique<Program>();
    ProgramState& s = p->state;
};

TEST_F(SlotsTest, slot_numbers_reach_their_storage) {
    struct Expect {
        int number;
        char* text;
        size_t capacity;
    };
    const Expect expected[] = {
        {1, s.display_slots[0].text, 127}, {2, s.display_slots[1].text, 127}, {3, s.price_slots[0].text, 31},
        {7, s.price_slots[4].text, 31},    {8, s.slot_group_a[0].text, 31},   {17, s.slot_group_a[9].text, 31},
        {18, s.slot_group_b[0].text, 31},  {27, s.slot_group_b[9].text, 31},  {28, s.slot_group_c[0].text, 31},
        {36, s.slot_group_c[8].text, 31},  {47, s.slot_group_c[19].text, 31},
    };
    for (const Expect& e : expected) {
        SlotRef r = slot(s, e.number);
        ASSERT_TRUE(r) << e.number;
        EXPECT_EQ(r.text, e.text) << e.number;
        EXPECT_EQ(r.capacity, e.capacity) << e.number;
    }
    std::set<char*> texts;
    std::set<std::atomic<uint8_t>*> flags;
    for (int n = kFirstSlot; n <= kLastSlot; ++n) {
        texts.insert(slot(s, n).text);
        flags.insert(slot(s, n).pending);
    }
    EXPECT_EQ(texts.size(), 47u);
    EXPECT_EQ(flags.size(), 47u);

    for (int bad : {0, -1, 48, 1000}) {
        EXPECT_FALSE(slot(s, bad)) << bad;
        EXPECT_FALSE(fill_slot(s, bad, "20E")) << bad;
        EXPECT_FALSE(slot_pending(s, bad));
        EXPECT_EQ(slot_text(s, bad), "");
    }
}

TEST_F(SlotsTest, fill_slot_sets_text_then_pending) {
    EXPECT_FALSE(slot_pending(s, 46));
    EXPECT_TRUE(fill_slot(s, 46, "20E"));
    EXPECT_TRUE(slot_pending(s, 46));
    EXPECT_EQ(slot_text(s, 46), "20E");
    EXPECT_EQ(s.slot_group_c[18].pending.load(), 1);
    // A shorter text replaces a longer one whole.
    fill_slot(s, 3, "21M4.59");
    fill_slot(s, 3, "21C");
    EXPECT_EQ(slot_text(s, 3), "21C");
}

TEST_F(SlotsTest, long_texts_are_cut_to_the_slot_and_never_overrun) {
    const std::string long_text(300, 'x');
    const std::string thirty(30, 'y');
    fill_slot(s, 1, long_text.c_str());
    fill_slot(s, 7, long_text.c_str());
    fill_slot(s, 17, long_text.c_str());
    fill_slot(s, 47, long_text.c_str());
    fill_slot(s, 4, thirty.c_str());
    EXPECT_EQ(slot_text(s, 1), std::string(126, 'x'));
    EXPECT_EQ(slot_text(s, 7), std::string(30, 'x'));
    EXPECT_EQ(slot_text(s, 47), std::string(30, 'x'));
    EXPECT_EQ(slot_text(s, 4), thirty);
    // The neighbours behind each cut slot are untouched.
    EXPECT_EQ(s.display_slots[1].pending.load(), 0);
    EXPECT_EQ(s.display_slots[1].text[0], '\0');
    EXPECT_EQ(s.slot_group_a[0].pending.load(), 0);
    EXPECT_EQ(s.slot_group_a[0].text[0], '\0');
    EXPECT_EQ(s.slot_group_a[10].text[0], '\0');
    EXPECT_EQ(s.slot_group_c[20].pending.load(), 0);
    EXPECT_EQ(s.slot_group_c[20].text[0], '\0');
}

TEST_F(SlotsTest, clear_command_queue_frees_every_slot_and_keeps_texts) {
    for (int n = kFirstSlot; n <= kLastSlot; ++n) fill_slot(s, n, ("T" + std::to_string(n)).c_str());
    // Group entries no slot number reaches, as a stray writer might have left them.
    for (auto* group : {s.slot_group_a, s.slot_group_b, s.slot_group_c})
        for (int i = 0; i < 32; ++i) group[i].pending = 1;
    p->record->query_pending = true;
    p->record->current_slot = 29;

    clear_command_queue(*p);

    for (int n = kFirstSlot; n <= kLastSlot; ++n) {
        EXPECT_FALSE(slot_pending(s, n)) << n;
        EXPECT_EQ(slot_text(s, n), "T" + std::to_string(n));
    }
    for (auto* group : {s.slot_group_a, s.slot_group_b, s.slot_group_c})
        for (int i = 0; i < 32; ++i) EXPECT_EQ(group[i].pending.load(), 0) << i;
    EXPECT_FALSE(p->record->query_pending.load());
    EXPECT_EQ(p->record->current_slot.load(), 0);
}

TEST(CopyText, cuts_and_always_terminates) {
    char buf[4] = {'z', 'z', 'z', 'z'};
    copy_text(buf, sizeof buf, "abcdef");
    EXPECT_STREQ(buf, "abc");
    copy_text(buf, sizeof buf, nullptr);
    EXPECT_STREQ(buf, "");
    buf[0] = 'q';
    copy_text(buf, 0, "abc");
    EXPECT_EQ(buf[0], 'q');
}

}  // namespace
}  // namespace kc
