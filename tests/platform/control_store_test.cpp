// Platform layer tests: the thread-safe control store.
#include "platform/control_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <tuple>
#include <vector>

namespace kc {
namespace {

using Event = std::tuple<WindowId, int, ControlChange, Origin>;

struct ControlStoreTest : ::testing::Test {
    ControlStoreTest() {
        store.set_listener([this](WindowId w, int id, ControlChange c, Origin o) { events.emplace_back(w, id, c, o); });
    }
    ControlStore store;
    std::vector<Event> events;
};

TEST_F(ControlStoreTest, text_query_is_cut_to_max_chars) {
    const std::string connected = "PO\xA3\xA5" "CZONY";  // Windows-1250, one byte a letter
    store.set_text(2, 556, connected);
    EXPECT_EQ(store.text(2, 556), connected);
    EXPECT_EQ(store.text(2, 556, 3), "PO\xA3");
    EXPECT_EQ(store.text(2, 556, 0), "");
    EXPECT_EQ(store.text(2, 556, 1000), connected);
    EXPECT_EQ(store.text(2, 999), "");
    EXPECT_EQ(store.text(3, 556), "");  // same id, other window
}

TEST_F(ControlStoreTest, listener_hears_each_real_change_with_its_origin) {
    store.set_text(2, 10, "a");
    store.set_text(2, 10, "a");  // no change, no call
    store.set_text(2, 10, "b", Origin::View);
    store.set_checked(100, 11, true, Origin::View);
    store.set_checked(100, 11, true);
    store.set_enabled(2, 12, false);
    store.set_visible(2, 13, false);
    const std::vector<Event> expected = {
        {2, 10, ControlChange::Text, Origin::Program},
        {2, 10, ControlChange::Text, Origin::View},
        {100, 11, ControlChange::Check, Origin::View},
        {2, 12, ControlChange::Enabled, Origin::Program},
        {2, 13, ControlChange::Visible, Origin::Program},
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(store.text(2, 10), "b");
    EXPECT_TRUE(store.checked(100, 11));
    EXPECT_FALSE(store.enabled(2, 12));
    EXPECT_FALSE(store.visible(2, 13));
}

TEST_F(ControlStoreTest, list_items_data_and_selection) {
    EXPECT_EQ(store.add_item(100, 5, "COM1", 1), 0);
    EXPECT_EQ(store.add_item(100, 5, "COM2", 2), 1);
    EXPECT_EQ(store.add_item(100, 5, "COM3"), 2);
    store.set_item_data(100, 5, 2, 3);
    store.set_item_data(100, 5, 7, 99);  // no such item: ignored
    auto items = store.items(100, 5);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].text, "COM2");
    EXPECT_EQ(store.item_data(100, 5, 2), 3u);
    EXPECT_EQ(store.item_data(100, 5, 3), 0u);
    EXPECT_EQ(store.item_data(100, 5, -1), 0u);
    EXPECT_EQ(store.item_data(100, 6, 0), 0u);

    EXPECT_EQ(store.selection(100, 5), -1);
    store.set_selection(100, 5, 1, Origin::View);
    EXPECT_EQ(store.selection(100, 5), 1);
    store.set_selection(100, 5, 3);  // past the end: nothing selected
    EXPECT_EQ(store.selection(100, 5), -1);
    store.set_selection(100, 5, 2);
    store.clear_items(100, 5);
    EXPECT_TRUE(store.items(100, 5).empty());
    EXPECT_EQ(store.selection(100, 5), -1);

    const std::vector<Event> expected = {
        {100, 5, ControlChange::Items, Origin::Program},     {100, 5, ControlChange::Items, Origin::Program},
        {100, 5, ControlChange::Items, Origin::Program},     {100, 5, ControlChange::Selection, Origin::View},
        {100, 5, ControlChange::Selection, Origin::Program}, {100, 5, ControlChange::Selection, Origin::Program},
        {100, 5, ControlChange::Items, Origin::Program},
    };
    EXPECT_EQ(events, expected);
}

TEST_F(ControlStoreTest, windows_are_created_and_forgotten_whole) {
    ControlState initial;
    initial.text = "Mrugaj";
    initial.visible = false;
    store.create(2, 1074, initial);
    store.create(2, 1075, initial);
    store.create(100, 1074, ControlState{});
    EXPECT_TRUE(store.exists(2, 1074));
    EXPECT_EQ(store.state(2, 1074).text, "Mrugaj");
    EXPECT_FALSE(store.visible(2, 1074));
    EXPECT_TRUE(events.empty());  // creation is the host's own business

    store.remove_window(2);
    EXPECT_FALSE(store.exists(2, 1074));
    EXPECT_FALSE(store.exists(2, 1075));
    EXPECT_TRUE(store.exists(100, 1074));
}

TEST(ControlStore, listener_may_read_the_store_and_other_threads_may_write) {
    ControlStore store;
    std::atomic<int> heard{0};
    store.set_listener([&](WindowId w, int id, ControlChange, Origin) {
        // The Qt host mirrors the change by reading it back inside the call.
        if (!store.text(w, id).empty()) ++heard;
    });
    auto run = std::async(std::launch::async, [&] {
        std::vector<std::thread> writers;
        for (int t = 0; t < 3; ++t)
            writers.emplace_back([&, t] {
                for (int i = 0; i < 200; ++i) store.set_text(2, 500 + t, std::to_string(i));
            });
        for (auto& w : writers) w.join();
    });
    ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "listener deadlocked the store";
    EXPECT_EQ(heard.load(), 600);
    EXPECT_EQ(store.text(2, 501), "199");
}

}  // namespace
}  // namespace kc
