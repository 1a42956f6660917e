// Platform layer (Win32): the real UI host on Windows, with the W functions throughout.
// A generic host like the Qt one: the main window (class TTYWndClass, menu 300,
// accelerators 200), the modeless panel and the modal dialogs are built from the
// templates in resources/, one CreateWindowExW per control; the control store is
// mirrored into the controls on the UI thread and every event goes to the window's
// procedure. It holds no program logic.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "platform/ui_host.h"
#include "resources/templates.h"

namespace kc {

// The tray icon's callback message.
inline constexpr UINT kTrayMessage = WM_APP + 100;

class Win32Host : public UiHost {
public:
    // The thread that makes the host is its UI thread.
    explicit Win32Host(HINSTANCE instance = GetModuleHandleW(nullptr));
    ~Win32Host() override;
    Win32Host(const Win32Host&) = delete;
    Win32Host& operator=(const Win32Host&) = delete;

    // ---- any thread ----------------------------------------------------------------
    ControlStore& controls() override { return controls_; }
    void post(std::function<void()> work) override;
    void post_command(WindowId window, int command) override;
    void invalidate(WindowId window, const Rect& r) override;
    void invalidate_all(WindowId window) override;
    void set_timer(WindowId window, int timer_id, int period_ms) override;
    void kill_timer(WindowId window, int timer_id) override;
    void enable_menu_item(int command, bool enabled) override;
    bool is_ui_thread() const override { return std::this_thread::get_id() == ui_thread_; }

    // ---- UI thread -----------------------------------------------------------------
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
    bool has_tray() const override;
    bool tray_add(const std::string& tip) override;
    void tray_remove() override;
    void set_wait_cursor(bool waiting) override;
    void set_control_font(WindowId window, int control_id, const FontSpec& font) override;
    void move_window(WindowId window, int x, int y, int width, int height) override;
    void scroll_window(WindowId window, int dx, int dy) override;
    void set_scroll_bar(WindowId window, Orientation orientation, int position, int range_max, bool redraw) override;
    void set_scroll_position(WindowId window, Orientation orientation, int position, bool redraw) override;
    Rect window_rect(WindowId window) const override;

    // ---- for the program's start, the benchmark and smoke runs ---------------------
    // Runs once, posted, after the panel first painted.
    std::function<void()> on_first_paint;
    // Where dialog and panel templates come from.
    std::function<const DialogTemplate*(int template_id)> find_template = find_dialog_template;
    HWND window_handle(WindowId window) const;
    HWND control_handle(WindowId window, int control_id) const;

    // ---- the window procedures (static trampolines find the host) -------------------
    LRESULT handle(WindowId window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

private:
    struct DialogEntry {
        HWND hwnd = nullptr;
        WindowProcedure* procedure = nullptr;
        const DialogTemplate* layout = nullptr;
        bool ended = false;
        int result = 0;
    };
    struct ControlEntry {
        HWND hwnd = nullptr;
        ControlKind kind = ControlKind::Static;
    };

    void on_ui_thread(std::function<void()> work);
    void run_posted();
    void refresh_control(WindowId window, int control_id);
    void build_controls(HWND parent, WindowId window, const DialogTemplate& layout);
    void forget_window(WindowId window);
    void child_command(WindowId window, int id, int code, HWND control);
    int default_button(WindowId window) const;
    bool pre_translate(MSG& msg);
    WindowProcedure* procedure(WindowId window) const;
    HWND owner_handle(WindowId owner) const;
    HWND paint_target(WindowId window) const;
    HBRUSH brush(Color color);

    HINSTANCE instance_;
    std::thread::id ui_thread_;
    ControlStore controls_;
    HWND message_window_ = nullptr;  // receives posted work
    std::mutex posted_mutex_;
    std::deque<std::function<void()>> posted_;

    HWND main_ = nullptr;
    HWND panel_ = nullptr;
    HMENU menu_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HFONT dialog_font_ = nullptr;
    WindowProcedure* main_procedure_ = nullptr;
    WindowProcedure* panel_procedure_ = nullptr;
    std::map<WindowId, DialogEntry> dialogs_;
    std::map<std::pair<WindowId, int>, ControlEntry> control_handles_;
    std::map<std::pair<WindowId, int>, HFONT> control_fonts_;
    std::map<Color, HBRUSH> brushes_;
    int updating_ = 0;  // > 0 while the host itself writes into controls
    bool tray_shown_ = false;
    bool first_paint_seen_ = false;
    bool quit_requested_ = false;
    int exit_code_ = 0;
    HCURSOR saved_cursor_ = nullptr;
    bool wait_cursor_ = false;
};

}  // namespace kc
