// Platform layer: everything the core asks of the windowing system. Two hosts
// implement it: platform/qt (the real program) and platform/headless (tests).
//
// Threads: the methods under "any thread" may be called from worker threads; a host
// posts them to the UI thread and never makes the caller wait for it. The others
// are called on the UI thread only. All texts are Windows-1250.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/control_store.h"
#include "platform/geometry.h"
#include "platform/window_procedure.h"

namespace kc {

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Exclamation, Warning, Question, Information };
enum class MessageResult { Ok = 1, Cancel = 2 };

struct FileFilter {
    std::string name;     // "Pliki Tekstowe"
    std::string pattern;  // "*.txt"
};

// A font description as the program keeps it (the fields of a LOGFONT).
struct FontSpec {
    int height = 55;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 900;
    bool italic = false;
    bool underline = false;
    bool strike_out = false;
    uint8_t char_set = 255;
    uint8_t out_precision = 0;
    uint8_t clip_precision = 0;
    uint8_t quality = 0;
    uint8_t pitch_and_family = 0x31;
    std::string face = "Arial";
};

enum class ShowMode { Normal, Hide, Minimized };

using CustomColors = std::array<Color, 16>;

class UiHost {
public:
    virtual ~UiHost() = default;

    // ---- any thread --------------------------------------------------------
    virtual ControlStore& controls() = 0;
    // Runs `work` on the UI thread later, in posting order.
    virtual void post(std::function<void()> work) = 0;
    // Delivers a command to a window's procedure later, as a posted menu command.
    virtual void post_command(WindowId window, int command) = 0;
    virtual void invalidate(WindowId window, const Rect& r) = 0;
    virtual void invalidate_all(WindowId window) = 0;
    // (Re)starts a window timer; a period of 0 becomes the platform minimum of 10 ms.
    virtual void set_timer(WindowId window, int timer_id, int period_ms) = 0;
    virtual void kill_timer(WindowId window, int timer_id) = 0;
    virtual void enable_menu_item(int command, bool enabled) = 0;
    virtual bool is_ui_thread() const = 0;

    // ---- UI thread only ------------------------------------------------------
    // Creates the main window (title, size, menu 300, accelerators 200) and runs the
    // procedure's on_create; false when that returned -1.
    virtual bool create_main_window(WindowProcedure& procedure) = 0;
    // Creates the modeless panel DYSTRDLG over the main window and runs on_init.
    virtual bool create_panel(WindowProcedure& procedure) = 0;
    virtual void show_window(WindowId window, ShowMode mode) = 0;
    virtual void bring_to_front(WindowId window) = 0;
    // Runs the message loop until quit(); returns the exit code.
    virtual int run_message_loop() = 0;
    // Asks the main window to close, as its close box does (posted).
    virtual void post_close(WindowId window) = 0;
    // Destroys the main window (panel first, then main: their on_destroy run).
    virtual void destroy_main_window() = 0;
    virtual void quit(int exit_code) = 0;

    // Runs a modal dialog from template `template_id` with `procedure`; returns the
    // result given to end_dialog. The dialog's WindowId is its template id.
    virtual int run_dialog(int template_id, WindowProcedure& procedure) = 0;
    virtual void end_dialog(WindowId dialog, int result) = 0;

    virtual MessageResult message_box(WindowId owner, const std::string& text, const std::string& caption,
                                      MessageButtons buttons, MessageIcon icon) = 0;
    // The native open-file chooser; the first filter is selected. Returns the full path.
    virtual std::optional<std::string> choose_open_file(WindowId owner, const std::vector<FileFilter>& filters) = 0;
    // The colour chooser starting on `initial`; `custom` is read and updated.
    virtual std::optional<Color> choose_color(WindowId owner, Color initial, CustomColors& custom) = 0;
    // The font chooser (fixed-pitch screen fonts with effects); true when confirmed.
    virtual bool choose_font(WindowId owner, FontSpec& font, Color& color) = 0;

    // Tray icon 129 with its tip; has_tray() is false where the desktop offers none.
    virtual bool has_tray() const = 0;
    virtual bool tray_add(const std::string& tip) = 0;
    virtual void tray_remove() = 0;

    virtual void set_wait_cursor(bool waiting) = 0;
    virtual void set_control_font(WindowId window, int control_id, const FontSpec& font) = 0;

    // Terminal view support on the main window.
    virtual void move_window(WindowId window, int x, int y, int width, int height) = 0;
    // Scrolls the window's contents, child windows included, by (dx, dy).
    virtual void scroll_window(WindowId window, int dx, int dy) = 0;
    virtual void set_scroll_bar(WindowId window, Orientation orientation, int position, int range_max,
                                bool redraw) = 0;
    virtual void set_scroll_position(WindowId window, Orientation orientation, int position, bool redraw) = 0;
    // Outer size of the window, frame included.
    virtual Rect window_rect(WindowId window) const = 0;
};

}  // namespace kc
