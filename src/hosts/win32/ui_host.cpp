// Platform layer (Win32): the real UI host on Windows.
#include "hosts/win32/ui_host.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cwchar>

#include "hosts/win32/gdi_canvas.h"
#include "hosts/win32/win32_text.h"
#include "text/format_text.h"

namespace kc {
namespace {

constexpr wchar_t kMainClass[] = L"TTYWndClass";
constexpr wchar_t kPanelClass[] = L"KavorCenPanel";
constexpr wchar_t kDialogClass[] = L"KavorCenDialog";
constexpr wchar_t kHostClass[] = L"KavorCenHost";
constexpr UINT kPostedWork = WM_APP + 1;
// A drop-down list's template height includes its open list; a short one still opens.
constexpr int kMinListHeight = 160;

struct WindowInit {
    Win32Host* host;
    WindowId window;
};

LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* init = static_cast<WindowInit*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(init->host));
        SetWindowLongPtrW(hwnd, 0, static_cast<LONG_PTR>(init->window));
    }
    auto* host = reinterpret_cast<Win32Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!host) return DefWindowProcW(hwnd, message, wparam, lparam);
    return host->handle(static_cast<WindowId>(GetWindowLongPtrW(hwnd, 0)), hwnd, message, wparam, lparam);
}

void register_class(HINSTANCE instance, const wchar_t* name, int background, HICON icon, HICON small_icon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_proc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hIconSm = small_icon;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(background + 1));
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

LOGFONTW logfont_from(const FontSpec& f) {
    LOGFONTW lf{};
    lf.lfHeight = f.height;
    lf.lfWidth = f.width;
    lf.lfEscapement = f.escapement;
    lf.lfOrientation = f.orientation;
    lf.lfWeight = f.weight;
    lf.lfItalic = f.italic;
    lf.lfUnderline = f.underline;
    lf.lfStrikeOut = f.strike_out;
    lf.lfCharSet = f.char_set;
    lf.lfOutPrecision = f.out_precision;
    lf.lfClipPrecision = f.clip_precision;
    lf.lfQuality = f.quality;
    lf.lfPitchAndFamily = f.pitch_and_family;
    std::wstring face = wide_text(f.face);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return lf;
}

void spec_from(const LOGFONTW& lf, FontSpec& f) {
    f.height = lf.lfHeight;
    f.width = lf.lfWidth;
    f.escapement = lf.lfEscapement;
    f.orientation = lf.lfOrientation;
    f.weight = lf.lfWeight;
    f.italic = lf.lfItalic != 0;
    f.underline = lf.lfUnderline != 0;
    f.strike_out = lf.lfStrikeOut != 0;
    f.char_set = lf.lfCharSet;
    f.out_precision = lf.lfOutPrecision;
    f.clip_precision = lf.lfClipPrecision;
    f.quality = lf.lfQuality;
    f.pitch_and_family = lf.lfPitchAndFamily;
    f.face = core_text(lf.lfFaceName);
}

std::wstring window_text(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), length + 1)));
    return text;
}

// The system's dialog font at its own size ("Segoe UI" 9 pt, the templates' 12 pixels at
// 96 dpi) and with the user's smoothing (ClearType): the accents of Ś, Ź, Ń, Ó are a
// pixel or two and need both. The texts are UTF-16, so the face needs no character set.
HFONT create_dialog_font() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW lf{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        lf = metrics.lfMessageFont;
    } else {
        wcscpy(lf.lfFaceName, L"MS Shell Dlg 2");
        HDC screen = GetDC(nullptr);
        lf.lfHeight = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
    }
    // Wine's and older Windows' Tahoma 8 pt is 11 pixels: too small for the accents.
    if (lf.lfHeight > -12 && lf.lfHeight < 0) lf.lfHeight = -12;
    return CreateFontIndirectW(&lf);
}

// A group title with a blank either side, as Windows' own dialogs have it: the frame line
// keeps its distance, and a title measured a pixel short (Wine) is not cut.
std::wstring shown_text(ControlKind kind, std::wstring text) {
    if (kind == ControlKind::GroupBox && !text.empty()) return L" " + text + L" ";
    return text;
}

bool is_push_button(ControlKind k) {
    return k == ControlKind::Button || k == ControlKind::DefaultButton || k == ControlKind::OwnerDrawButton ||
           k == ControlKind::CheckBox;
}

}  // namespace

Win32Host::Win32Host(HINSTANCE instance) : instance_(instance), ui_thread_(std::this_thread::get_id()) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    const int icon = main_window_template().icon;
    register_class(instance_, kMainClass, COLOR_WINDOW, program_icon(icon, 32), program_icon(icon, 16));
    register_class(instance_, kPanelClass, COLOR_BTNFACE, nullptr, nullptr);
    register_class(instance_, kDialogClass, COLOR_BTNFACE, program_icon(icon, 32), program_icon(icon, 16));
    register_class(instance_, kHostClass, COLOR_BTNFACE, nullptr, nullptr);
    WindowInit init{this, 0};
    message_window_ = CreateWindowExW(0, kHostClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, &init);

    dialog_font_ = create_dialog_font();

    controls_.set_listener([this](WindowId w, int id, ControlChange, Origin origin) {
        if (origin == Origin::View) return;  // the control already shows it
        on_ui_thread([this, w, id] { refresh_control(w, id); });
    });
}

Win32Host::~Win32Host() {
    controls_.set_listener(nullptr);
    tray_remove();
    if (main_) DestroyWindow(main_);
    if (message_window_) DestroyWindow(message_window_);
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
    for (auto& [key, font] : control_fonts_) DeleteObject(font);
    for (auto& [color, b] : brushes_) DeleteObject(b);
    if (dialog_font_) DeleteObject(dialog_font_);
}

// ---- any thread ------------------------------------------------------------------------

void Win32Host::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(posted_mutex_);
        posted_.push_back(std::move(work));
    }
    PostMessageW(message_window_, kPostedWork, 0, 0);
}

void Win32Host::run_posted() {
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(posted_mutex_);
            if (posted_.empty()) return;
            work = std::move(posted_.front());
            posted_.pop_front();
        }
        work();
    }
}

void Win32Host::on_ui_thread(std::function<void()> work) {
    if (is_ui_thread())
        work();
    else
        post(std::move(work));
}

void Win32Host::post_command(WindowId window, int command) {
    post([this, window, command] {
        if (WindowProcedure* p = procedure(window)) p->on_command(command);
    });
}

void Win32Host::invalidate(WindowId window, const Rect& r) {
    on_ui_thread([this, window, r] {
        RECT box{r.left, r.top, r.right, r.bottom};
        if (HWND h = paint_target(window)) InvalidateRect(h, &box, TRUE);
    });
}

void Win32Host::invalidate_all(WindowId window) {
    on_ui_thread([this, window] {
        if (HWND h = paint_target(window)) InvalidateRect(h, nullptr, TRUE);
    });
}

void Win32Host::set_timer(WindowId window, int timer_id, int period_ms) {
    on_ui_thread([this, window, timer_id, period_ms] {
        // A running timer starts over with the new period.
        if (HWND h = window_handle(window)) SetTimer(h, static_cast<UINT_PTR>(timer_id), period_ms <= 0 ? 10 : period_ms, nullptr);
    });
}

void Win32Host::kill_timer(WindowId window, int timer_id) {
    on_ui_thread([this, window, timer_id] {
        if (HWND h = window_handle(window)) KillTimer(h, static_cast<UINT_PTR>(timer_id));
    });
}

void Win32Host::enable_menu_item(int command, bool enabled) {
    on_ui_thread([this, command, enabled] {
        if (!menu_) return;
        EnableMenuItem(menu_, static_cast<UINT>(command), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        DrawMenuBar(main_);
    });
}

// ---- the control store's mirror ------------------------------------------------------------

namespace {

// A combo box and a list box take the same requests under different message numbers.
struct ListMessages {
    UINT count, text_length, text, reset, add, set_data, get_selection, set_selection;
};

// Items are rebuilt only when their texts changed: a rebuild loses the scroll position.
void mirror_list(HWND h, const ControlState& s, const ListMessages& m) {
    bool same = SendMessageW(h, m.count, 0, 0) == static_cast<LRESULT>(s.items.size());
    for (size_t i = 0; same && i < s.items.size(); ++i) {
        LRESULT length = std::max<LRESULT>(SendMessageW(h, m.text_length, i, 0), 0);
        std::wstring item(static_cast<size_t>(length) + 1, L'\0');
        SendMessageW(h, m.text, i, reinterpret_cast<LPARAM>(item.data()));
        item.resize(static_cast<size_t>(length));
        same = item == wide_text(s.items[i].text);
    }
    if (!same) {
        SendMessageW(h, m.reset, 0, 0);
        for (const ListItem& item : s.items) {
            LRESULT at = SendMessageW(h, m.add, 0, reinterpret_cast<LPARAM>(wide_text(item.text).c_str()));
            if (at >= 0) SendMessageW(h, m.set_data, static_cast<WPARAM>(at), item.data);
        }
    }
    if (SendMessageW(h, m.get_selection, 0, 0) != s.selection)
        SendMessageW(h, m.set_selection, static_cast<WPARAM>(s.selection), 0);
}

}  // namespace

void Win32Host::refresh_control(WindowId window, int control_id) {
    auto it = control_handles_.find({window, control_id});
    if (it == control_handles_.end() || !it->second.hwnd) return;
    HWND h = it->second.hwnd;
    ControlKind kind = it->second.kind;
    // The whole state is applied, read now: a late posted update shows the latest state.
    ControlState s = controls_.state(window, control_id);
    ++updating_;
    std::wstring text = shown_text(kind, wide_text(s.text));
    switch (kind) {
        case ControlKind::Static:
        case ControlKind::Edit:
        case ControlKind::Button:
        case ControlKind::DefaultButton:
        case ControlKind::CheckBox:
        case ControlKind::GroupBox:
        case ControlKind::OwnerDrawButton:
            if (window_text(h) != text) SetWindowTextW(h, text.c_str());
            if (kind == ControlKind::CheckBox) SendMessageW(h, BM_SETCHECK, s.checked ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case ControlKind::ComboBox:
            mirror_list(h, s, ListMessages{CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_RESETCONTENT, CB_ADDSTRING,
                                           CB_SETITEMDATA, CB_GETCURSEL, CB_SETCURSEL});
            break;
        case ControlKind::ListBox:
            mirror_list(h, s, ListMessages{LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_RESETCONTENT, LB_ADDSTRING,
                                           LB_SETITEMDATA, LB_GETCURSEL, LB_SETCURSEL});
            break;
        case ControlKind::Frame:
        case ControlKind::Icon:
            break;
    }
    if ((IsWindowEnabled(h) != FALSE) != s.enabled) EnableWindow(h, s.enabled);
    bool shown = (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != s.visible) ShowWindow(h, s.visible ? SW_SHOWNA : SW_HIDE);
    if (kind == ControlKind::OwnerDrawButton) InvalidateRect(h, nullptr, FALSE);
    --updating_;
}

// ---- building windows from templates ----------------------------------------------------------

void Win32Host::build_controls(HWND parent, WindowId window, const DialogTemplate& layout) {
    controls_.remove_window(window);
    for (const ControlTemplate& c : layout.controls) {
        if (c.id == kNoId) continue;
        ControlState s;
        s.text = c.text ? utf8_to_cp1250(c.text) : std::string();
        s.visible = (c.flags & kHidden) == 0;
        s.enabled = (c.flags & kDisabled) == 0;
        controls_.create(window, c.id, s);
    }
    // Created in template order, which is also the tab order.
    for (const ControlTemplate& c : layout.controls) {
        const wchar_t* cls = L"STATIC";
        DWORD style = WS_CHILD;
        DWORD ex_style = 0;
        int height = c.rect.height();
        switch (c.kind) {
            case ControlKind::Static:
                style |= (c.flags & kCentered) ? SS_CENTER : (c.flags & kRightAligned) ? SS_RIGHT : SS_LEFT;
                break;
            case ControlKind::Edit:
                cls = L"EDIT";
                ex_style = WS_EX_CLIENTEDGE;
                style |= WS_TABSTOP | ES_AUTOHSCROLL | ((c.flags & kRightAligned) ? ES_RIGHT : ES_LEFT) |
                         ((c.flags & kReadOnly) ? ES_READONLY : 0) | ((c.flags & kPassword) ? ES_PASSWORD : 0);
                break;
            case ControlKind::Button: cls = L"BUTTON"; style |= WS_TABSTOP | BS_PUSHBUTTON; break;
            case ControlKind::DefaultButton: cls = L"BUTTON"; style |= WS_TABSTOP | BS_DEFPUSHBUTTON; break;
            case ControlKind::CheckBox: cls = L"BUTTON"; style |= WS_TABSTOP | BS_AUTOCHECKBOX; break;
            case ControlKind::GroupBox: cls = L"BUTTON"; style |= BS_GROUPBOX; break;
            case ControlKind::ComboBox:
                cls = L"COMBOBOX";
                style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
                height = std::max(height, kMinListHeight);
                break;
            case ControlKind::ListBox:
                cls = L"LISTBOX";
                ex_style = WS_EX_CLIENTEDGE;
                // Unsorted: the items keep the order the program gives them.
                style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
                break;
            case ControlKind::Frame: style |= SS_GRAYFRAME; break;
            case ControlKind::Icon: style |= SS_ICON | SS_REALSIZEIMAGE; break;
            case ControlKind::OwnerDrawButton: cls = L"BUTTON"; style |= WS_TABSTOP | BS_OWNERDRAW; break;
        }
        if (!(c.flags & kHidden)) style |= WS_VISIBLE;
        if (c.flags & kDisabled) style |= WS_DISABLED;
        std::wstring text = c.kind == ControlKind::Icon ? std::wstring() : shown_text(c.kind, resource_text(c.text));
        int id = c.id == kNoId ? 0xFFFF : c.id;
        HWND h = CreateWindowExW(ex_style, cls, text.c_str(), style, c.rect.left, c.rect.top, c.rect.width(), height,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
        if (!h) continue;
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(dialog_font_), FALSE);
        if (c.kind == ControlKind::Icon)
            SendMessageW(h, STM_SETICON, reinterpret_cast<WPARAM>(program_icon(c.icon)), 0);
        if (c.id != kNoId) {
            control_handles_[{window, c.id}] = ControlEntry{h, c.kind};
            refresh_control(window, c.id);
        }
    }
}

void Win32Host::forget_window(WindowId window) {
    for (auto it = control_handles_.begin(); it != control_handles_.end();)
        it = it->first.first == window ? control_handles_.erase(it) : std::next(it);
    for (auto it = control_fonts_.begin(); it != control_fonts_.end();) {
        if (it->first.first == window) {
            DeleteObject(it->second);
            it = control_fonts_.erase(it);
        } else {
            ++it;
        }
    }
}

void Win32Host::child_command(WindowId window, int id, int code, HWND control) {
    WindowProcedure* proc = procedure(window);
    auto it = control_handles_.find({window, id});
    if (it == control_handles_.end() || it->second.hwnd != control) {
        // Enter or Escape that the dialog manager turned into IDOK / IDCANCEL.
        if (proc && code == BN_CLICKED && (id == kIdOk || id == kIdCancel)) proc->on_command(id);
        return;
    }
    switch (it->second.kind) {
        case ControlKind::Edit:
            if (code == EN_CHANGE && updating_ == 0) {
                std::wstring typed = window_text(control);
                std::string bytes = core_text(typed);
                // Characters the code page has no place for show as the core keeps them.
                std::wstring kept = wide_text(bytes);
                if (kept != typed) {
                    DWORD start = 0, end = 0;
                    SendMessageW(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
                    ++updating_;
                    SetWindowTextW(control, kept.c_str());
                    SendMessageW(control, EM_SETSEL, start, end);
                    --updating_;
                }
                controls_.set_text(window, id, bytes, Origin::View);
            }
            break;
        case ControlKind::Button:
        case ControlKind::DefaultButton:
        case ControlKind::OwnerDrawButton:
            if (code == BN_CLICKED && proc) proc->on_command(id);
            break;
        case ControlKind::CheckBox:
            if (code == BN_CLICKED) {
                controls_.set_checked(window, id, SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED, Origin::View);
                if (proc) proc->on_command(id);
            }
            break;
        case ControlKind::ComboBox:
        case ControlKind::ListBox: {
            bool combo = it->second.kind == ControlKind::ComboBox;
            // Only the operator's choice: the host's own writes send no notice, and none counts.
            if (code != (combo ? CBN_SELCHANGE : LBN_SELCHANGE) || updating_ != 0) break;
            LRESULT row = SendMessageW(control, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
            controls_.set_selection(window, id, static_cast<int>(row), Origin::View);
            // As a list's selection-change notice: a procedure may follow it.
            if (proc) proc->on_command(id);
            break;
        }
        default:
            break;
    }
}

int Win32Host::default_button(WindowId window) const {
    const DialogTemplate* layout = nullptr;
    if (window == kPanelWindow)
        layout = find_template(kPanelTemplateId);
    else if (auto it = dialogs_.find(window); it != dialogs_.end())
        layout = it->second.layout;
    if (layout)
        for (const ControlTemplate& c : layout->controls)
            if (c.kind == ControlKind::DefaultButton) return c.id;
    return kIdOk;
}

// ---- messages -----------------------------------------------------------------------------------

LRESULT Win32Host::handle(WindowId window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (hwnd == message_window_) {
        if (message == kPostedWork) run_posted();
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    WindowProcedure* proc = procedure(window);
    switch (message) {
        case WM_COMMAND:
            if (lparam != 0)
                child_command(window, LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
            else if (proc)
                proc->on_command(LOWORD(wparam));  // menu, accelerator, or the dialog manager
            return 0;
        case WM_TIMER:
            if (proc) proc->on_timer(static_cast<int>(wparam));
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (proc) {
                GdiCanvas canvas(dc, dialog_font_);
                proc->on_paint(canvas, Rect{ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom});
            }
            EndPaint(hwnd, &ps);
            // The main window shows once its panel has painted.
            if (!first_paint_seen_ && (window == kPanelWindow || !panel_)) {
                first_paint_seen_ = true;
                if (on_first_paint) post(on_first_paint);
            }
            return 0;
        }
        case WM_DRAWITEM: {
            auto* d = reinterpret_cast<DRAWITEMSTRUCT*>(lparam);
            if (proc && d) {
                GdiCanvas canvas(d->hDC, dialog_font_);
                proc->on_draw_item(static_cast<int>(d->CtlID), canvas,
                                   Rect{d->rcItem.left, d->rcItem.top, d->rcItem.right, d->rcItem.bottom});
            }
            return TRUE;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            StaticColors colors;
            int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
            HDC dc = reinterpret_cast<HDC>(wparam);
            if (message == WM_CTLCOLORSTATIC && proc && proc->on_static_color(id, colors)) {
                SetTextColor(dc, colors.text);
                SetBkColor(dc, colors.background);
                return reinterpret_cast<LRESULT>(brush(colors.background));
            }
            // A window that is no dialog would give labels the white of an edit.
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case DM_GETDEFID:
            return MAKELRESULT(default_button(window), DC_HASDEFID);
        case WM_CLOSE:
            if (window == kMainWindow) {
                if (main_procedure_ && main_procedure_->on_close()) destroy_main_window();
            } else if (proc) {
                proc->on_command(kIdCancel);
            }
            return 0;
        case WM_SIZE:
            if (window == kMainWindow && proc) {
                int w = LOWORD(lparam), h = HIWORD(lparam);
                if (wparam == SIZE_MINIMIZED)
                    // After the state change has settled: the procedure may hide the window.
                    post([this, w, h] {
                        if (main_procedure_) main_procedure_->on_size(w, h, true);
                    });
                else
                    proc->on_size(w, h, false);
            }
            break;
        case WM_VSCROLL:
        case WM_HSCROLL:
            if (window == kMainWindow && proc && lparam == 0)
                proc->on_scroll(message == WM_VSCROLL ? Orientation::Vertical : Orientation::Horizontal, LOWORD(wparam),
                                static_cast<short>(HIWORD(wparam)));
            return 0;
        case WM_CHAR:
            if (window == kMainWindow && proc) {
                wchar_t c = static_cast<wchar_t>(wparam);
                for (unsigned char byte : core_text(std::wstring_view(&c, 1))) proc->on_char(byte);
                return 0;
            }
            break;
        case kTrayMessage:
            if (window == kMainWindow && proc) {
                if (lparam == WM_LBUTTONDOWN) proc->on_tray(TrayEvent::LeftPress);
                else if (lparam == WM_RBUTTONDOWN) proc->on_tray(TrayEvent::RightPress);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool Win32Host::pre_translate(MSG& msg) {
    // The window whose keyboard interface applies: the top modal dialog, else the panel.
    HWND dialog = nullptr;
    WindowId window = 0;
    for (auto& [id, entry] : dialogs_)
        if (!entry.ended && entry.hwnd) {
            dialog = entry.hwnd;
            window = id;
        }
    if (!dialog) {
        if (main_ && accelerators_ && TranslateAcceleratorW(main_, accelerators_, &msg)) return true;
        dialog = panel_;
        window = kPanelWindow;
    }
    if (!dialog || (msg.hwnd != dialog && !IsChild(dialog, msg.hwnd))) return false;

    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        // Enter on a focused button presses it; elsewhere it is the default button,
        // which takes no Enter while greyed.
        HWND focus = GetFocus();
        int focus_id = focus ? GetDlgCtrlID(focus) : 0;
        auto it = control_handles_.find({window, focus_id});
        bool on_button = it != control_handles_.end() && it->second.hwnd == focus && is_push_button(it->second.kind);
        bool list_open = it != control_handles_.end() && it->second.kind == ControlKind::ComboBox &&
                         SendMessageW(focus, CB_GETDROPPEDSTATE, 0, 0);
        if (!on_button && !list_open) {
            int id = default_button(window);
            if (!controls_.exists(window, id) || controls_.enabled(window, id))
                if (WindowProcedure* p = procedure(window)) p->on_command(id);
            return true;
        }
    }
    return IsDialogMessageW(dialog, &msg) != FALSE;
}

// ---- the main window and the panel ------------------------------------------------------------

bool Win32Host::create_main_window(WindowProcedure& procedure) {
    const MainWindowTemplate& t = main_window_template();
    menu_ = CreateMenu();
    for (const MenuBarEntry& entry : t.menu) {
        if (entry.command != 0) {
            AppendMenuW(menu_, MF_STRING, static_cast<UINT_PTR>(entry.command), resource_text(entry.text).c_str());
            continue;
        }
        HMENU popup = CreatePopupMenu();
        for (const MenuItemTemplate& item : entry.items) {
            if (!item.text) {
                AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            // An item with a shortcut shows it after a tab, right-aligned by Windows.
            std::wstring label = resource_text(item.text);
            for (const AcceleratorTemplate& a : t.accelerators)
                if (a.command == item.command)
                    label += std::wstring(L"\t") + (a.shift ? L"Shift+" : L"") +
                             (a.key == AcceleratorKey::PageUp ? L"PgUp" : L"PgDn");
            AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.command), label.c_str());
        }
        AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), resource_text(entry.text).c_str());
    }
    std::vector<ACCEL> table;
    for (const AcceleratorTemplate& a : t.accelerators)
        table.push_back(ACCEL{static_cast<BYTE>(FVIRTKEY | (a.shift ? FSHIFT : 0)),
                              static_cast<WORD>(a.key == AcceleratorKey::PageUp ? VK_PRIOR : VK_NEXT),
                              static_cast<WORD>(a.command)});
    if (!table.empty()) accelerators_ = CreateAcceleratorTableW(table.data(), static_cast<int>(table.size()));

    WindowInit init{this, kMainWindow};
    main_ = CreateWindowExW(0, kMainClass, resource_text(t.title).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL | WS_CLIPCHILDREN, t.x, t.y, t.width,
                            t.height, nullptr, menu_, instance_, &init);
    if (!main_) return false;
    // An empty range takes the bars away until the terminal view sets one.
    SetScrollRange(main_, SB_VERT, 0, 0, FALSE);
    SetScrollRange(main_, SB_HORZ, 0, 0, FALSE);
    main_procedure_ = &procedure;
    if (procedure.on_create() == -1) {
        main_procedure_ = nullptr;
        DestroyWindow(main_);
        main_ = nullptr;
        menu_ = nullptr;
        return false;
    }
    return true;
}

bool Win32Host::create_panel(WindowProcedure& procedure) {
    if (!main_) return false;
    const DialogTemplate* layout = find_template(kPanelTemplateId);
    WindowInit init{this, kPanelWindow};
    panel_ = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                             layout ? layout->width : 2000, layout ? layout->height : 1000, main_, nullptr, instance_,
                             &init);
    if (!panel_) return false;
    panel_procedure_ = &procedure;
    if (layout) build_controls(panel_, kPanelWindow, *layout);
    procedure.on_init();
    return true;
}

void Win32Host::show_window(WindowId window, ShowMode mode) {
    HWND h = window_handle(window);
    if (!h) return;
    if (window == kMainWindow) {
        ShowWindow(h, mode == ShowMode::Hide ? SW_HIDE : mode == ShowMode::Minimized ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
        if (mode == ShowMode::Normal) UpdateWindow(h);
        return;
    }
    ShowWindow(h, mode == ShowMode::Hide ? SW_HIDE : SW_SHOW);
}

void Win32Host::bring_to_front(WindowId window) {
    if (HWND h = window_handle(window)) {
        SetForegroundWindow(h);
        BringWindowToTop(h);
    }
}

int Win32Host::run_message_loop() {
    if (!quit_requested_) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (pre_translate(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    quit_requested_ = false;
    return exit_code_;
}

void Win32Host::post_close(WindowId window) {
    post([this, window] {
        if (HWND h = window_handle(window)) SendMessageW(h, WM_CLOSE, 0, 0);
    });
}

void Win32Host::destroy_main_window() {
    if (WindowProcedure* panel = panel_procedure_) {
        panel_procedure_ = nullptr;
        panel->on_destroy();
        forget_window(kPanelWindow);
    }
    if (WindowProcedure* main = main_procedure_) {
        main_procedure_ = nullptr;
        main->on_destroy();
        forget_window(kMainWindow);
    }
    HWND h = main_;
    main_ = nullptr;
    panel_ = nullptr;
    menu_ = nullptr;  // the window destroys its menu
    if (h) DestroyWindow(h);  // timers and children go with it
}

void Win32Host::quit(int exit_code) {
    quit_requested_ = true;
    exit_code_ = exit_code;
    PostQuitMessage(exit_code);
}

// ---- dialogs -----------------------------------------------------------------------------------------

int Win32Host::run_dialog(int template_id, WindowProcedure& procedure) {
    const DialogTemplate* layout = find_template(template_id);
    if (!layout || dialogs_.count(template_id)) return -1;
    WindowId window = template_id;
    HWND owner = owner_handle(kMainWindow);
    if (!dialogs_.empty()) owner = std::prev(dialogs_.end())->second.hwnd;

    // No WS_CLIPCHILDREN here or on the panel: group boxes show what their parent painted.
    DWORD style = WS_POPUP | WS_CAPTION | (layout->close_box ? WS_SYSMENU : 0);
    DWORD ex_style = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, layout->width, layout->height};
    AdjustWindowRectEx(&frame, style, FALSE, ex_style);
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    RECT over{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (owner && IsWindowVisible(owner)) GetWindowRect(owner, &over);
    int x = std::max<int>(0, over.left + (over.right - over.left - w) / 2);
    int y = std::max<int>(0, over.top + (over.bottom - over.top - h) / 2);

    WindowInit init{this, window};
    dialogs_[window] = DialogEntry{nullptr, &procedure, layout, false, 0};
    HWND dialog = CreateWindowExW(ex_style, kDialogClass, resource_text(layout->title).c_str(), style, x, y, w, h,
                                  owner, nullptr, instance_, &init);
    if (!dialog) {
        dialogs_.erase(window);
        return -1;
    }
    dialogs_[window].hwnd = dialog;
    build_controls(dialog, window, *layout);
    procedure.on_init();

    if (!dialogs_[window].ended) {
        if (owner) EnableWindow(owner, FALSE);
        ShowWindow(dialog, SW_SHOW);
        SetForegroundWindow(dialog);
        SetActiveWindow(dialog);
        HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
        if (first) SetFocus(first);
        MSG msg;
        while (!dialogs_[window].ended) {
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
                dialogs_[window].result = kIdCancel;
                break;
            }
            if (pre_translate(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (owner) EnableWindow(owner, TRUE);
    }
    int result = dialogs_[window].result;
    procedure.on_destroy();
    forget_window(window);
    DestroyWindow(dialog);  // and its timers
    dialogs_.erase(window);
    if (owner) SetActiveWindow(owner);
    return result;
}

void Win32Host::end_dialog(WindowId dialog, int result) {
    auto it = dialogs_.find(dialog);
    if (it == dialogs_.end() || it->second.ended) return;
    it->second.ended = true;
    it->second.result = result;
    PostMessageW(it->second.hwnd, WM_NULL, 0, 0);  // wakes the dialog's loop
}

// ---- message boxes and choosers -------------------------------------------------------------------

MessageResult Win32Host::message_box(WindowId owner, const std::string& text, const std::string& caption,
                                     MessageButtons buttons, MessageIcon icon) {
    UINT flags = buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
    switch (icon) {
        case MessageIcon::Exclamation:
        case MessageIcon::Warning: flags |= MB_ICONEXCLAMATION; break;
        case MessageIcon::Question: flags |= MB_ICONQUESTION; break;
        case MessageIcon::Information: flags |= MB_ICONINFORMATION; break;
        case MessageIcon::None: break;
    }
    // A box that opens while another box or a dialog is up is owned by the one on top, so
    // every window beneath stays disabled until all of them are closed.
    HWND h = owner_handle(owner);
    if (h) {
        HWND top = GetLastActivePopup(GetAncestor(h, GA_ROOTOWNER));
        if (top && IsWindowVisible(top) && IsWindowEnabled(top)) h = top;
    }
    int r = MessageBoxW(h, wide_text(keep_parentheses_together(text)).c_str(), wide_text(caption).c_str(), flags);
    return r == IDCANCEL ? MessageResult::Cancel : MessageResult::Ok;
}

std::optional<std::string> Win32Host::choose_open_file(WindowId owner, const std::vector<FileFilter>& filters) {
    std::wstring filter;
    for (const FileFilter& f : filters) {
        filter += wide_text(f.name);
        filter += L'\0';
        filter += wide_text(f.pattern);
        filter += L'\0';
    }
    filter += L'\0';
    wchar_t path[MAX_PATH * 4] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner_handle(owner);
    ofn.lpstrFilter = filters.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(std::size(path));
    // The settings and logs live in the current folder: the chooser must not move it.
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    return core_text(path);
}

std::optional<Color> Win32Host::choose_color(WindowId owner, Color initial, CustomColors& custom) {
    COLORREF colours[16];
    for (size_t i = 0; i < 16; ++i) colours[i] = custom[i];
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = owner_handle(owner);
    cc.rgbResult = initial;
    cc.lpCustColors = colours;
    cc.Flags = CC_RGBINIT | CC_ANYCOLOR;
    BOOL ok = ChooseColorW(&cc);
    // Custom colours the operator defined stay, whichever button closed the chooser.
    for (size_t i = 0; i < 16; ++i) custom[i] = colours[i];
    if (!ok) return std::nullopt;
    return static_cast<Color>(cc.rgbResult);
}

bool Win32Host::choose_font(WindowId owner, FontSpec& font, Color& color) {
    LOGFONTW lf = logfont_from(font);
    CHOOSEFONTW cf{};
    cf.lStructSize = sizeof cf;
    cf.hwndOwner = owner_handle(owner);
    cf.lpLogFont = &lf;
    cf.Flags = CF_SCREENFONTS | CF_FIXEDPITCHONLY | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
    cf.rgbColors = color;
    if (!ChooseFontW(&cf)) return false;
    spec_from(lf, font);
    color = cf.rgbColors;
    return true;
}

HWND Win32Host::owner_handle(WindowId owner) const {
    if (auto it = dialogs_.find(owner); it != dialogs_.end()) return it->second.hwnd;
    return main_;
}

// ---- tray, cursor, fonts ----------------------------------------------------------------------------

bool Win32Host::has_tray() const { return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr; }

bool Win32Host::tray_add(const std::string& tip) {
    if (!main_) return false;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = main_;
    nid.uID = 1;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = program_icon(main_window_template().icon, 16);
    std::wstring text = wide_text(tip);
    wcsncpy(nid.szTip, text.c_str(), std::size(nid.szTip) - 1);
    if (Shell_NotifyIconW(tray_shown_ ? NIM_MODIFY : NIM_ADD, &nid)) tray_shown_ = true;
    return tray_shown_;
}

void Win32Host::tray_remove() {
    if (!tray_shown_) return;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = main_;
    nid.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &nid);
    tray_shown_ = false;
}

void Win32Host::set_wait_cursor(bool waiting) {
    if (waiting == wait_cursor_) return;
    wait_cursor_ = waiting;
    if (waiting)
        saved_cursor_ = SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
    else
        SetCursor(saved_cursor_ ? saved_cursor_ : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
}

void Win32Host::set_control_font(WindowId window, int control_id, const FontSpec& font) {
    HWND h = control_handle(window, control_id);
    if (!h) return;
    LOGFONTW lf = logfont_from(font);
    HFONT f = CreateFontIndirectW(&lf);
    if (!f) return;
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
    HFONT& slot = control_fonts_[{window, control_id}];
    if (slot) DeleteObject(slot);
    slot = f;
}

HBRUSH Win32Host::brush(Color color) {
    HBRUSH& b = brushes_[color];
    if (!b) b = CreateSolidBrush(color);
    return b;
}

// ---- terminal view --------------------------------------------------------------------------------------

void Win32Host::move_window(WindowId window, int x, int y, int width, int height) {
    HWND h = window_handle(window);
    if (!h) return;
    if (window_rect(window) == Rect{x, y, x + width, y + height}) return;  // painting asks for this every time
    MoveWindow(h, x, y, width, height, TRUE);
}

void Win32Host::scroll_window(WindowId window, int dx, int dy) {
    HWND h = window_handle(window);
    if (h && (dx || dy)) ScrollWindowEx(h, dx, dy, nullptr, nullptr, nullptr, nullptr, SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
}

void Win32Host::set_scroll_bar(WindowId window, Orientation orientation, int position, int range_max, bool redraw) {
    if (window != kMainWindow || !main_) return;
    int bar = orientation == Orientation::Vertical ? SB_VERT : SB_HORZ;
    SetScrollRange(main_, bar, 0, std::max(0, range_max), FALSE);  // an empty range takes the bar away
    SetScrollPos(main_, bar, position, redraw);
}

void Win32Host::set_scroll_position(WindowId window, Orientation orientation, int position, bool redraw) {
    if (window != kMainWindow || !main_) return;
    SetScrollPos(main_, orientation == Orientation::Vertical ? SB_VERT : SB_HORZ, position, redraw);
}

Rect Win32Host::window_rect(WindowId window) const {
    HWND h = window_handle(window);
    if (!h) return Rect{};
    RECT r;
    GetWindowRect(h, &r);
    if (GetWindowLongW(h, GWL_STYLE) & WS_CHILD) MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return Rect{r.left, r.top, r.right, r.bottom};
}

// ---- lookups ---------------------------------------------------------------------------------------------

WindowProcedure* Win32Host::procedure(WindowId window) const {
    if (window == kMainWindow) return main_procedure_;
    if (window == kPanelWindow) return panel_procedure_;
    auto it = dialogs_.find(window);
    return it == dialogs_.end() ? nullptr : it->second.procedure;
}

HWND Win32Host::window_handle(WindowId window) const {
    if (window == kMainWindow) return main_;
    if (window == kPanelWindow) return panel_;
    auto it = dialogs_.find(window);
    return it == dialogs_.end() ? nullptr : it->second.hwnd;
}

HWND Win32Host::paint_target(WindowId window) const { return window_handle(window); }

HWND Win32Host::control_handle(WindowId window, int control_id) const {
    auto it = control_handles_.find({window, control_id});
    return it == control_handles_.end() ? nullptr : it->second.hwnd;
}

}  // namespace kc
