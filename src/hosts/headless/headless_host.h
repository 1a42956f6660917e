// Platform layer (tests): an in-memory UI host. Tests press controls by id, type into
// edits, answer message boxes and choosers ahead of time, advance virtual timers and
// pump the work that other threads posted. The thread that creates it is its UI thread.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui_host.h"

namespace kc {

struct ShownMessage {
    WindowId owner;
    std::string text;  // Windows-1250
    std::string caption;
    MessageButtons buttons;
    MessageIcon icon;
};

class HeadlessHost : public UiHost {
public:
    HeadlessHost();

    // ---- UiHost -----------------------------------------------------------------
    ControlStore& controls() override { return controls_; }
    void post(std::function<void()> work) override;
    void post_command(WindowId window, int command) override;
    void invalidate(WindowId window, const Rect& r) override;
    void invalidate_all(WindowId window) override;
    void set_timer(WindowId window, int timer_id, int period_ms) override;
    void kill_timer(WindowId window, int timer_id) override;
    void enable_menu_item(int command, bool enabled) override;
    bool is_ui_thread() const override;

    bool create_main_window(WindowProcedure& procedure) override;
    bool create_panel(WindowProcedure& procedure) override;
    void show_window(WindowId window, ShowMode mode) override;
    void bring_to_front(WindowId window) override;
    int run_message_loop() override;
    void post_close(WindowId window) override;
    void destroy_main_window() override;
    void quit(int exit_code) override;
    int run_dialog(int template_id, WindowProcedure& procedure) override;
    void end_dialog(WindowId dialog, int result) override;
    MessageResult message_box(WindowId owner, const std::string& text, const std::string& caption,
                              MessageButtons buttons, MessageIcon icon) override;
    std::optional<std::string> choose_open_file(WindowId owner, const std::vector<FileFilter>& filters) override;
    std::optional<Color> choose_color(WindowId owner, Color initial, CustomColors& custom) override;
    bool choose_font(WindowId owner, FontSpec& font, Color& color) override;
    bool has_tray() const override { return tray_available_; }
    bool tray_add(const std::string& tip) override;
    void tray_remove() override;
    void set_wait_cursor(bool waiting) override;
    void set_control_font(WindowId window, int control_id, const FontSpec& font) override;
    void move_window(WindowId window, int x, int y, int width, int height) override;
    void scroll_window(WindowId window, int dx, int dy) override;
    void set_scroll_bar(WindowId window, Orientation orientation, int position, int range_max, bool redraw) override;
    void set_scroll_position(WindowId window, Orientation orientation, int position, bool redraw) override;
    Rect window_rect(WindowId window) const override;

    // ---- driving it from a test ---------------------------------------------------
    // Presses a button, ticks an auto check box (toggling it first), or sends a menu
    // command to the main window (only when the menu item is enabled).
    void press(WindowId window, int control_id);
    void menu(int command);
    void type(WindowId window, int control_id, const std::string& text);
    void set_check(WindowId window, int control_id, bool checked);
    void select(WindowId window, int control_id, int index);
    // The close box of the main window: on_close, then destroy when it agreed.
    void close_main_window();

    // Answers for the next modal requests, in order. Without one a message box
    // answers Ok and a chooser is cancelled.
    void answer_next_message_box(MessageResult result);
    void next_file_choice(std::optional<std::string> path);
    void next_color_choice(std::optional<Color> color);
    void next_font_choice(std::optional<std::pair<FontSpec, Color>> choice);
    // Runs `script` after the dialog's initialisation whenever run_dialog opens it.
    void on_dialog(int template_id, std::function<void(WindowId)> script);

    // Advances virtual time, firing due timers in order and pumping posted work.
    void advance(int ms);
    // Runs posted work on this thread until none is left; returns how many ran.
    size_t pump();
    // Pumps until `done` holds or `timeout_ms` of real time passed; returns done().
    bool pump_until(const std::function<bool()>& done, int timeout_ms = 5000);

    // ---- reading it back ----------------------------------------------------------
    const std::vector<ShownMessage>& messages() const { return messages_; }
    void clear_messages() { messages_.clear(); }
    bool menu_enabled(int command) const;
    bool timer_running(WindowId window, int timer_id) const;
    int timer_period(WindowId window, int timer_id) const;  // -1 when not running
    std::vector<Rect> invalidations(WindowId window) const;
    void clear_invalidations();
    std::vector<FileFilter> last_file_filters() const { return last_file_filters_; }
    std::optional<Color> last_color_initial() const { return last_color_initial_; }
    std::vector<int> dialogs_run() const { return dialogs_run_; }
    bool tray_shown() const { return tray_shown_; }
    std::string tray_tip() const { return tray_tip_; }
    ShowMode window_mode(WindowId window) const;
    bool quit_called() const { return quit_called_; }
    int exit_code() const { return exit_code_; }
    bool wait_cursor() const { return wait_cursor_; }
    Rect window_position(WindowId window) const;  // last move_window
    int scroll_bar_position(Orientation o) const;
    int scroll_bar_range(Orientation o) const;
    int64_t now_ms() const;
    WindowProcedure* procedure(WindowId window) const;
    bool main_window_exists() const { return main_ != nullptr; }

    // Paints a window's procedure onto a canvas, with the whole canvas as the update.
    void paint(WindowId window, Canvas& canvas, const Rect& update);

    void set_tray_available(bool available) { tray_available_ = available; }

private:
    struct Timer {
        int period = 0;
        int64_t due = 0;
    };
    void create_controls(WindowId window, int template_id);
    int template_of(WindowId window) const;

    ControlStore controls_;
    std::thread::id ui_thread_;

    mutable std::mutex mutex_;  // guards the fields below that other threads reach
    std::deque<std::function<void()>> posted_;
    std::map<std::pair<WindowId, int>, Timer> timers_;
    std::map<WindowId, std::vector<Rect>> invalidations_;
    std::set<int> disabled_menu_;
    int64_t now_ = 0;

    WindowProcedure* main_ = nullptr;
    WindowProcedure* panel_ = nullptr;
    std::map<WindowId, WindowProcedure*> dialogs_;
    std::map<WindowId, bool> dialog_ended_;
    std::map<WindowId, int> dialog_result_;
    std::map<int, std::function<void(WindowId)>> dialog_scripts_;
    std::vector<int> dialogs_run_;

    std::deque<MessageResult> message_answers_;
    std::deque<std::optional<std::string>> file_answers_;
    std::deque<std::optional<Color>> color_answers_;
    std::deque<std::optional<std::pair<FontSpec, Color>>> font_answers_;
    std::vector<ShownMessage> messages_;
    std::vector<FileFilter> last_file_filters_;
    std::optional<Color> last_color_initial_;

    bool tray_available_ = true;
    bool tray_shown_ = false;
    std::string tray_tip_;
    std::map<WindowId, ShowMode> modes_;
    std::map<WindowId, Rect> positions_;
    int scroll_pos_[2] = {0, 0};
    int scroll_range_[2] = {0, 0};
    bool quit_called_ = false;
    int exit_code_ = 0;
    bool wait_cursor_ = false;
};

}  // namespace kc
