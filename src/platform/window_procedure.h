// Platform layer: the one procedure object per window or dialog. The host calls it on
// the UI thread for every event of its window; the procedure reaches its controls only
// through the UiHost.
#pragma once
#include "platform/canvas.h"
#include "platform/geometry.h"

namespace kc {

using WindowId = int;
inline constexpr WindowId kMainWindow = 1;
inline constexpr WindowId kPanelWindow = 2;  // the modeless panel DYSTRDLG
// Modal dialogs are identified by their template ids 100..104.

// Standard command ids of dialog buttons.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum class Orientation { Vertical, Horizontal };

// Scroll codes of the terminal view.
enum ScrollCode {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
    kScrollEnd = 8
};

enum class TrayEvent { LeftPress, RightPress, Other };

struct StaticColors {
    Color background = 0;
    Color text = 0;
};

class WindowProcedure {
public:
    virtual ~WindowProcedure() = default;

    // Main window creation; -1 aborts it.
    virtual int on_create() { return 0; }
    // Dialog and panel initialisation, after the host made the controls of the template.
    virtual void on_init() {}
    // A button, menu item, accelerator, or Enter (kIdOk) / Escape (kIdCancel) in a dialog.
    virtual void on_command(int id) {}
    virtual void on_timer(int timer_id) {}
    virtual void on_paint(Canvas& canvas, const Rect& update) {}
    // Owner-drawn buttons.
    virtual void on_draw_item(int control_id, Canvas& canvas, const Rect& item) {}
    // Static control colouring; false leaves the default colours.
    virtual bool on_static_color(int control_id, StaticColors& colors) { return false; }
    // Close box (main window); true lets the host destroy the window.
    virtual bool on_close() { return true; }
    virtual void on_destroy() {}

    // Main window only.
    virtual void on_size(int client_width, int client_height, bool minimized) {}
    virtual void on_scroll(Orientation orientation, int code, int position) {}
    virtual void on_tray(TrayEvent event) {}
    virtual void on_char(int character) {}
};

}  // namespace kc
