// Resources: windows and dialogs described as data, like resource templates.
// Texts are UTF-8 here and are converted to Windows-1250 where they are used.
#pragma once
#include <span>

#include "platform/geometry.h"
#include "platform/window_procedure.h"

namespace kc {

enum class ControlKind {
    Static,           // text label
    Edit,             // single-line edit
    Button,           // push button
    DefaultButton,    // push button taking Enter
    CheckBox,         // auto check box
    GroupBox,
    ComboBox,         // drop-down list
    Frame,            // grey frame rectangle
    Icon,             // icon resource; `icon` names it
    OwnerDrawButton,  // painted by the procedure's on_draw_item
    ListBox           // list of items, one selected; a selection change is a command
};

enum ControlFlags : unsigned {
    kHidden = 1u << 0,
    kCentered = 1u << 1,
    kRightAligned = 1u << 2,
    kDisabled = 1u << 3,
    kReadOnly = 1u << 4,
    kPassword = 1u << 5,  // an edit that shows what is typed as dots
};

inline constexpr int kNoId = -1;  // controls nothing refers to

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;  // UTF-8; for an Icon unused
    Rect rect;         // pixels in the window's client area
    unsigned flags = 0;
    int icon = 0;      // icon resource id for ControlKind::Icon
};

struct DialogTemplate {
    int id;             // 100..104, or kPanelTemplateId for DYSTRDLG
    const char* name;   // "DYSTRDLG" or the numeric id as text
    const char* title;  // UTF-8
    int width;          // client size in pixels
    int height;
    std::span<const ControlTemplate> controls;
    bool close_box = true;  // system menu with a close box
};

inline constexpr int kPanelTemplateId = 0;

// Menu 300: popups with items, and commands on the bar itself.
struct MenuItemTemplate {
    const char* text;  // UTF-8; nullptr for a separator
    int command;
};

struct MenuBarEntry {
    const char* text;  // UTF-8, '&' marks the mnemonic
    int command;       // non-zero: a command on the bar itself
    std::span<const MenuItemTemplate> items;
};

enum class AcceleratorKey { PageUp, PageDown };

struct AcceleratorTemplate {
    AcceleratorKey key;
    bool shift;
    int command;
};

struct MainWindowTemplate {
    const char* title;  // UTF-8
    int x, y, width, height;  // outer geometry
    int icon;
    std::span<const MenuBarEntry> menu;
    std::span<const AcceleratorTemplate> accelerators;
};

const MainWindowTemplate& main_window_template();
// nullptr for an unknown id.
const DialogTemplate* find_dialog_template(int id);

}  // namespace kc
