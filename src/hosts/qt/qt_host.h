// Platform layer (Qt): the real UI host. A generic host: it builds the main window,
// the panel and the dialogs from the templates in resources/, mirrors the control
// store into widgets on the UI thread and forwards every event to the window's
// procedure. It holds no program logic.
#pragma once
#include <QObject>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "platform/ui_host.h"
#include "resources/templates.h"

class QAction;
class QDialog;
class QScrollBar;
class QTimer;
class QWidget;

namespace kc {

class QtMainFrame;
class QtViewport;
class QtPanel;
class QtDialog;

class QtHost : public QObject, public UiHost {
    Q_OBJECT
public:
    // Needs a QApplication; the thread that makes the host is its UI thread.
    QtHost();
    ~QtHost() override;

    // ---- any thread ----------------------------------------------------------------
    ControlStore& controls() override { return controls_; }
    void post(std::function<void()> work) override;
    void post_command(WindowId window, int command) override;
    void invalidate(WindowId window, const Rect& r) override;
    void invalidate_all(WindowId window) override;
    void set_timer(WindowId window, int timer_id, int period_ms) override;
    void kill_timer(WindowId window, int timer_id) override;
    void enable_menu_item(int command, bool enabled) override;
    bool is_ui_thread() const override;

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

    // ---- for the program's start, the benchmark and GUI tests ------------------------
    // Runs once, posted, after the main window's client area (its panel) first painted.
    std::function<void()> on_first_paint;
    // Where dialog and panel templates come from; tests may put their own in front.
    std::function<const DialogTemplate*(int template_id)> find_template = find_dialog_template;

    // The top-level widget of the main window or of an open dialog, the panel widget,
    // or nullptr.
    QWidget* window_widget(WindowId window) const;
    // The widget of a control by window and id, or nullptr.
    QWidget* control_widget(WindowId window, int control_id) const;
    QAction* menu_action(int command) const;
    QScrollBar* scroll_bar(Orientation orientation) const;
    QSystemTrayIcon* tray_icon() const { return tray_; }
    QMenu* tray_menu() const { return tray_menu_; }
    // Whether the desktop offers a tray now. A seam: the offscreen platform has none.
    std::function<bool()> tray_available = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    // Shows the main window normally and in front (tray "Pokaż", a second start).
    void raise_main_window();
    // Period of a running window timer in ms, -1 when it does not run.
    int timer_period(WindowId window, int timer_id) const;
    // Saves what a window shows (the main window with its panel, or an open dialog) as PNG.
    bool save_screenshot(WindowId window, const std::string& path) const;

    // ---- used by the host's own widgets ------------------------------------------------
    WindowProcedure* procedure(WindowId window) const;
    void send_command(WindowId window, int command);
    // Enter in a dialog or the panel: its default button, or kIdOk without one.
    void send_default_command(WindowId window);
    void main_close_requested();
    void client_resized();
    void main_state_changed();
    void main_char(const QString& text);
    void window_painted(WindowId window);
    void scroll_action(Orientation orientation, int code, int position);
    // While set, widget change signals come from the host mirroring the store.
    struct HostWriteScope {
        explicit HostWriteScope(QtHost& h) : host(h) { ++host.host_writing_; }
        ~HostWriteScope() { --host.host_writing_; }
        QtHost& host;
    };
    struct PaintScope {
        explicit PaintScope(QtHost& h) : host(h) { ++host.painting_; }
        ~PaintScope() { --host.painting_; }
        QtHost& host;
    };

private:
    struct ControlEntry {
        QPointer<QWidget> widget;
        ControlKind kind = ControlKind::Static;
    };
    struct DialogEntry {
        QtDialog* widget = nullptr;
        WindowProcedure* procedure = nullptr;
        const DialogTemplate* layout = nullptr;
        bool ended = false;
        int result = 0;
    };

    void on_control_changed(WindowId window, int control_id, ControlChange change, Origin origin);
    void refresh_control(WindowId window, int control_id, ControlChange change);
    // Runs `work` now on the UI thread, or posts it from another thread.
    void on_ui_thread(std::function<void()> work);
    void build_controls(QWidget* parent, WindowId window, const DialogTemplate& layout);
    void wire_control(QWidget* widget, WindowId window, const ControlTemplate& c);
    void forget_window(WindowId window);
    void watch_tray_while_hidden();
    void kill_window_timers(WindowId window);
    void apply_timer(WindowId window, int timer_id, int period_ms);
    QWidget* owner_widget(WindowId owner) const;
    const DialogTemplate* layout_of(WindowId window) const;
    QWidget* paint_target(WindowId window) const;

    ControlStore controls_;
    std::thread::id ui_thread_;

    QPointer<QtMainFrame> main_frame_;
    QPointer<QtMainFrame> dying_frame_;  // destroyed, its deletion still posted
    QtViewport* viewport_ = nullptr;  // owned by the frame
    QScrollBar* scroll_bars_[2] = {nullptr, nullptr};
    QPointer<QtPanel> panel_;
    WindowProcedure* main_procedure_ = nullptr;
    WindowProcedure* panel_procedure_ = nullptr;
    std::map<WindowId, DialogEntry> dialogs_;
    std::map<std::pair<WindowId, int>, ControlEntry> control_widgets_;
    std::map<int, QAction*> menu_actions_;
    std::map<std::pair<WindowId, int>, QTimer*> timers_;
    QSystemTrayIcon* tray_ = nullptr;
    QPointer<QMenu> tray_menu_;
    QTimer* tray_watch_ = nullptr;

    bool first_paint_seen_ = false;
    bool wait_cursor_ = false;
    bool quit_requested_ = false;
    bool in_message_loop_ = false;
    int exit_code_ = 0;
    bool last_minimized_ = false;
    int painting_ = 0;
    int host_writing_ = 0;
};

}  // namespace kc
