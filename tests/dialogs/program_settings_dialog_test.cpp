// Settings dialog tests: dialog 104, price captions, their colours, hide on minimise.
#include "dialogs/program_settings_dialog.h"

#include <atomic>
#include <thread>

#include "dialog_fixture.h"
#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "hosts/headless/memory_canvas.h"
#include "resources/command_ids.h"

namespace kc {
namespace {

constexpr WindowId W = kDialogProgramSettings;
constexpr Color kRed = 255;

class ProgramSettingsTest : public DialogTest {
protected:
    // Runs the dialog; returns 1 when it closed, 0 when it was left open.
    int run(std::function<void(WindowId)> script) {
        ProgramSettingsDialog dialog(p);
        host.on_dialog(W, std::move(script));
        return host.run_dialog(W, dialog);
    }
    bool panel_repainted() {
        for (const Rect& r : host.invalidations(kPanelWindow))
            if (!r.empty()) return true;
        return false;
    }
};

TEST_F(ProgramSettingsTest, opening_shows_the_captions_and_the_check_box) {
    record().hide_on_minimize = true;
    run([&](WindowId w) {
        for (int row = 1; row <= 5; ++row)
            EXPECT_EQ(host.controls().text(w, caption_edit_id(row)), p.state.price_labels[row - 1]);
        EXPECT_TRUE(host.controls().checked(w, kIdHideOnMinimize));
    });
}

TEST_F(ProgramSettingsTest, red_for_row_2_with_ok_updates_the_panel_and_the_file) {
    host.next_color_choice(kRed);
    int result = run([&](WindowId w) {
        host.type(w, caption_edit_id(2), "ON");
        host.press(w, caption_color_id(2));
        host.press(w, kIdOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(p.state.price_label_colors[1], kRed);
    EXPECT_STREQ(p.state.price_labels[1], "ON");
    EXPECT_EQ(panel_text(p, kIdCaption1 + 1), "ON");
    EXPECT_EQ(panel_text(p, kIdCaption1), "AAA");
    EXPECT_TRUE(panel_repainted()) << "the new colour must show at once";
    auto lines = settings_lines();
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[33], "ON");
    EXPECT_EQ(lines[34], "255");
    EXPECT_EQ(lines[36], "255") << "row 3 keeps its own red";
    EXPECT_EQ(lines[32], "65280");
}

TEST_F(ProgramSettingsTest, cancel_drops_the_chosen_colour_and_the_captions) {
    host.next_color_choice(kRed);
    run([&](WindowId w) {
        host.type(w, caption_edit_id(2), "ON");
        host.press(w, caption_color_id(2));
        host.press(w, kIdHideOnMinimize);
        host.press(w, kIdCancel);
    });
    EXPECT_EQ(p.state.price_label_colors[1], 0x00FFFFu);
    EXPECT_STREQ(p.state.price_labels[1], "BBB");
    EXPECT_FALSE(record().hide_on_minimize);
    EXPECT_FALSE(panel_repainted());
    EXPECT_FALSE(settings_written());
}

TEST_F(ProgramSettingsTest, the_chooser_always_opens_on_white) {
    // Row 3 is red already.
    run([&](WindowId w) {
        host.press(w, caption_color_id(3));
        EXPECT_EQ(host.last_color_initial(), std::optional<Color>(0xFFFFFF));
        host.press(w, kIdCancel);
    });
}

TEST_F(ProgramSettingsTest, colour_buttons_paint_the_working_colour) {
    ProgramSettingsDialog dialog(p);
    host.on_dialog(W, [&](WindowId w) {
        host.next_color_choice(0x112233);
        host.press(w, caption_color_id(4));
        host.next_color_choice(std::nullopt);  // a cancelled chooser keeps the colour
        host.press(w, caption_color_id(5));
    });
    host.run_dialog(W, dialog);
    auto centre_of = [&](int id) {
        MemoryCanvas canvas(24, 24, 0xABCDEF);
        dialog.on_draw_item(id, canvas, Rect{0, 0, 24, 24});
        return canvas.pixel(12, 12);
    };
    EXPECT_EQ(centre_of(caption_color_id(4)), 0x112233u);
    EXPECT_EQ(centre_of(caption_color_id(5)), 0xFF0000u);
    EXPECT_EQ(centre_of(caption_color_id(1)), 0x00FF00u);
    EXPECT_EQ(p.state.price_label_colors[3], 0xFFFFFFu) << "only Ok takes a colour over";
    EXPECT_FALSE(host.invalidations(W).empty()) << "the dialog repaints after the chooser";
}

TEST_F(ProgramSettingsTest, an_empty_or_blank_caption_is_refused_and_the_dialog_stays_open) {
    for (const char* bad : {"", "A B", "\tX", "X "}) {
        host.clear_messages();
        int result = run([&](WindowId w) {
            host.type(w, caption_edit_id(1), "NEW");
            host.type(w, caption_edit_id(3), bad);
            host.press(w, kIdOk);
        });
        EXPECT_EQ(result, 0) << "closed with caption '" << bad << "'";
        ASSERT_EQ(host.messages().size(), 1u);
        EXPECT_EQ(host.messages()[0].text, cp("Opis ceny 3 nie może być pusty ani zawierać spacji."));
        EXPECT_EQ(host.messages()[0].caption, cp("Błąd"));
        EXPECT_EQ(host.messages()[0].icon, MessageIcon::Exclamation);
        EXPECT_STREQ(p.state.price_labels[0], "AAA") << "a refused Ok stores nothing";
        EXPECT_FALSE(settings_written());
    }
    // Mended, the same dialog closes.
    int result = run([&](WindowId w) {
        host.type(w, caption_edit_id(3), "");
        host.press(w, kIdOk);
        host.type(w, caption_edit_id(3), "LPG");
        host.press(w, kIdOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(p.state.price_labels[2], "LPG");
}

TEST_F(ProgramSettingsTest, a_long_caption_is_cut_to_15_characters) {
    const std::string polish = cp("Olej_napędowy");
    run([&](WindowId w) {
        host.type(w, caption_edit_id(1), polish);
        // A blank past the fifteenth character is cut away with the rest.
        host.type(w, caption_edit_id(5), "ABCDEFGHIJKLMNO PQRS");
        host.press(w, kIdOk);
    });
    EXPECT_STREQ(p.state.price_labels[4], "ABCDEFGHIJKLMNO");
    EXPECT_EQ(settings_lines().at(39), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(settings_lines().at(31), polish) << "Windows-1250 bytes reach the file unchanged";
}

TEST_F(ProgramSettingsTest, hide_on_minimize_reaches_line_30) {
    run([&](WindowId w) {
        host.press(w, kIdHideOnMinimize);
        host.press(w, kIdOk);
    });
    EXPECT_TRUE(record().hide_on_minimize);
    EXPECT_EQ(settings_lines().at(30), "1");
}

// The port reader saves the file at the end of a read-back, from its own thread.
TEST_F(ProgramSettingsTest, ok_while_another_thread_saves_leaves_a_whole_file) {
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) save_settings_locked(p);
    });
    for (int round = 0; round < 20; ++round) {
        host.next_color_choice(static_cast<Color>(round));
        run([&](WindowId w) {
            host.type(w, caption_edit_id(2), "ROUND" + std::to_string(round));
            host.press(w, caption_color_id(2));
            host.press(w, kIdOk);
        });
    }
    stop = true;
    reader.join();
    auto lines = settings_lines();
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[33], "ROUND19");
    EXPECT_EQ(lines[34], "19");
    EXPECT_EQ(p.state.settings_lock.value(), 0);
}

}  // namespace
}  // namespace kc
