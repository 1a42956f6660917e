// Platform layer (Qt): the real UI host.
#include "hosts/qt/qt_host.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QListWidget>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

#include "hosts/qt/qt_canvas.h"
#include "hosts/qt/qt_screenshot.h"
#include "hosts/qt/qt_text.h"
#include "hosts/qt/qt_widgets.h"
#include "resources/texts.h"
#include "text/format_text.h"

namespace kc {
namespace {

// How often a hidden main window checks that its tray icon still has a tray.
constexpr int kTrayWatchMs = 1000;

int bar_index(Orientation o) { return o == Orientation::Vertical ? 0 : 1; }

// A readable default for dialogs and the panel; the templates are laid out in pixels
// for a face of about this size.
QFont dialog_font() {
    QFont f = QApplication::font();
    f.setPixelSize(12);
    return f;
}

QFont font_from_desc(const FontSpec& desc) {
    QFont f;
    QString face = qt_text(desc.face);
    if (!face.isEmpty() && QFontDatabase::hasFamily(face)) {
        f.setFamily(face);
    } else {
        // The face is not on this machine: a sans face that is.
        f.setStyleHint(QFont::SansSerif);
        f.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    }
    if (desc.weight > 0) f.setWeight(static_cast<QFont::Weight>(std::clamp(desc.weight, 1, 1000)));
    f.setItalic(desc.italic);
    f.setUnderline(desc.underline);
    f.setStrikeOut(desc.strike_out);
    int height = std::abs(desc.height);
    if (height > 0) {
        f.setPixelSize(height);
        if (desc.height > 0) {
            // A positive height is the whole cell, leading included, not the em.
            int cell = QFontMetrics(f).height();
            if (cell > height) f.setPixelSize(std::max(1, height * height / cell));
        }
    }
    return f;
}

void desc_from_font(const QFont& f, FontSpec& desc) {
    int pixels = f.pixelSize();
    if (pixels <= 0) pixels = static_cast<int>(f.pointSizeF() * 96.0 / 72.0 + 0.5);
    desc.height = -pixels;  // the character height, as a font chooser gives it
    desc.weight = static_cast<int>(f.weight());
    desc.italic = f.italic();
    desc.underline = f.underline();
    desc.strike_out = f.strikeOut();
    desc.face = core_text(f.family());
    if (QFontInfo(f).fixedPitch()) desc.pitch_and_family = 0x31;  // fixed pitch, modern family
}

QString filter_text(const FileFilter& filter) {
    // The chooser shows the name alone; the patterns in parentheses do the matching.
    QString patterns = qt_text(filter.pattern);
    patterns.replace(u';', u' ');
    if (patterns.trimmed() == u"*.*") patterns = QStringLiteral("*");  // every file, with or without a dot
    return qt_text(filter.name) + QStringLiteral(" (") + patterns + u')';
}

Qt::Alignment static_alignment(unsigned flags) {
    Qt::Alignment a = Qt::AlignTop;
    if (flags & kCentered)
        a |= Qt::AlignHCenter;
    else if (flags & kRightAligned)
        a |= Qt::AlignRight;
    else
        a |= Qt::AlignLeft;
    return a;
}

// "..." beside an edit: its text says nothing, so it is named after the edit's label.
bool symbol_button(ControlKind kind, const QString& shown) {
    return kind == ControlKind::Button && !shown.isEmpty() &&
           std::none_of(shown.begin(), shown.end(), [](QChar ch) { return ch.isLetterOrNumber(); });
}

bool named_by_own_text(ControlKind kind) {
    return kind == ControlKind::Static || kind == ControlKind::Button || kind == ControlKind::DefaultButton ||
           kind == ControlKind::CheckBox || kind == ControlKind::GroupBox;
}

}  // namespace

QtHost::QtHost() : ui_thread_(std::this_thread::get_id()) {
    QtComboBox::install_accessibility();
    // Hiding the main window to the tray must not end the program: only quit() does.
    QApplication::setQuitOnLastWindowClosed(false);
    controls_.set_listener(
        [this](WindowId w, int id, ControlChange change, Origin origin) { on_control_changed(w, id, change, origin); });
}

QtHost::~QtHost() {
    controls_.set_listener(nullptr);
    set_wait_cursor(false);
    for (auto& [key, timer] : timers_) delete timer;
    timers_.clear();
    delete tray_;
    tray_ = nullptr;
    delete tray_menu_.data();
    control_widgets_.clear();
    menu_actions_.clear();
    delete main_frame_.data();
    delete dying_frame_.data();
}

// ---- any thread ------------------------------------------------------------------------

void QtHost::post(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void QtHost::on_ui_thread(std::function<void()> work) {
    if (is_ui_thread())
        work();
    else
        post(std::move(work));
}

void QtHost::post_command(WindowId window, int command) {
    post([this, window, command] { send_command(window, command); });
}

void QtHost::invalidate(WindowId window, const Rect& r) {
    on_ui_thread([this, window, r] {
        if (QWidget* w = paint_target(window)) w->update(QRect(r.left, r.top, r.width(), r.height()));
    });
}

void QtHost::invalidate_all(WindowId window) {
    on_ui_thread([this, window] {
        if (QWidget* w = paint_target(window)) w->update();
    });
}

void QtHost::set_timer(WindowId window, int timer_id, int period_ms) {
    on_ui_thread([this, window, timer_id, period_ms] { apply_timer(window, timer_id, period_ms); });
}

void QtHost::kill_timer(WindowId window, int timer_id) {
    on_ui_thread([this, window, timer_id] {
        auto it = timers_.find({window, timer_id});
        if (it != timers_.end()) it->second->stop();
    });
}

void QtHost::apply_timer(WindowId window, int timer_id, int period_ms) {
    if (period_ms <= 0) period_ms = 10;
    QTimer*& timer = timers_[{window, timer_id}];
    if (!timer) {
        timer = new QTimer(this);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, window, timer_id] {
            if (WindowProcedure* p = procedure(window)) p->on_timer(timer_id);
        });
    }
    timer->start(period_ms);  // a running timer starts over with the new period
}

void QtHost::kill_window_timers(WindowId window) {
    for (auto& [key, timer] : timers_)
        if (key.first == window) timer->stop();
}

int QtHost::timer_period(WindowId window, int timer_id) const {
    auto it = timers_.find({window, timer_id});
    return it != timers_.end() && it->second->isActive() ? it->second->interval() : -1;
}

void QtHost::enable_menu_item(int command, bool enabled) {
    on_ui_thread([this, command, enabled] {
        if (QAction* a = menu_action(command)) a->setEnabled(enabled);
    });
}

bool QtHost::is_ui_thread() const { return std::this_thread::get_id() == ui_thread_; }

// ---- the control store's mirror ----------------------------------------------------------------

void QtHost::on_control_changed(WindowId window, int control_id, ControlChange change, Origin origin) {
    if (origin == Origin::View) return;  // the widget already shows it
    on_ui_thread([this, window, control_id, change] { refresh_control(window, control_id, change); });
}

void QtHost::refresh_control(WindowId window, int control_id, ControlChange) {
    auto it = control_widgets_.find({window, control_id});
    if (it == control_widgets_.end() || !it->second.widget) return;
    QWidget* w = it->second.widget;
    // The widget's change signals now come from the host, not from the operator.
    HostWriteScope writing(*this);
    // The whole state is applied, read now: a late posted update shows the latest state.
    ControlState s = controls_.state(window, control_id);
    QString text = qt_text(s.text);
    switch (it->second.kind) {
        case ControlKind::Static:
            if (auto* label = qobject_cast<QLabel*>(w); label && label->text() != text) label->setText(text);
            break;
        case ControlKind::Edit:
            if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->text() != text) edit->setText(text);
            break;
        case ControlKind::Button:
        case ControlKind::DefaultButton:
        case ControlKind::CheckBox:
        case ControlKind::OwnerDrawButton:
            if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                if (button->text() != text) button->setText(text);
                if (it->second.kind == ControlKind::CheckBox && button->isChecked() != s.checked)
                    button->setChecked(s.checked);
            }
            break;
        case ControlKind::GroupBox:
            if (auto* box = qobject_cast<QGroupBox*>(w); box && box->title() != text) box->setTitle(text);
            break;
        case ControlKind::ComboBox:
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                bool same = combo->count() == static_cast<int>(s.items.size());
                for (int i = 0; same && i < combo->count(); ++i)
                    same = combo->itemText(i) == qt_text(s.items[static_cast<size_t>(i)].text);
                if (!same) {
                    QSignalBlocker block(combo);
                    combo->clear();
                    for (const ListItem& item : s.items) combo->addItem(qt_text(item.text));
                }
                if (combo->currentIndex() != s.selection) {
                    QSignalBlocker block(combo);
                    combo->setCurrentIndex(s.selection);
                }
            }
            break;
        case ControlKind::ListBox:
            if (auto* list = qobject_cast<QListWidget*>(w)) {
                bool same = list->count() == static_cast<int>(s.items.size());
                for (int i = 0; same && i < list->count(); ++i)
                    same = list->item(i)->text() == qt_text(s.items[static_cast<size_t>(i)].text);
                if (!same) {
                    QSignalBlocker block(list);
                    list->clear();
                    for (const ListItem& item : s.items) list->addItem(qt_text(item.text));
                }
                if (list->currentRow() != s.selection) {
                    QSignalBlocker block(list);
                    list->setCurrentRow(s.selection);
                }
            }
            break;
        case ControlKind::Frame:
        case ControlKind::Icon:
            break;
    }
    // An untitled group keeps the window's name it was given.
    if (named_by_own_text(it->second.kind) && !(it->second.kind == ControlKind::GroupBox && text.isEmpty()) &&
        !symbol_button(it->second.kind, without_mnemonic(text)))
        w->setAccessibleName(without_mnemonic(text));
    if (w->isEnabled() != s.enabled) w->setEnabled(s.enabled);
    // isHidden, not isVisible: a control of a window not shown yet is not hidden.
    if (w->isHidden() == s.visible) w->setVisible(s.visible);
    w->update();
}

// ---- building windows from templates -------------------------------------------------------------

void QtHost::build_controls(QWidget* parent, WindowId window, const DialogTemplate& layout) {
    // Controls are created in template order, which is also the tab order.
    controls_.remove_window(window);
    for (const ControlTemplate& c : layout.controls) {
        if (c.id == kNoId) continue;
        ControlState s;
        s.text = c.text ? utf8_to_cp1250(c.text) : std::string();
        s.visible = (c.flags & kHidden) == 0;
        s.enabled = (c.flags & kDisabled) == 0;
        controls_.create(window, c.id, s);
    }

    QString label_before;  // the last static text seen, naming the edit or list after it
    QtStatic* label_widget = nullptr;  // that static: its Alt letter moves to the control after it
    for (const ControlTemplate& c : layout.controls) {
        QString text = qt_resource_text(c.text);
        QWidget* w = nullptr;
        switch (c.kind) {
            case ControlKind::Static: {
                auto* label = new QtStatic(*this, window, c.id, parent);
                label->setAlignment(static_alignment(c.flags));
                label->setText(text);
                label->setAttribute(Qt::WA_TransparentForMouseEvents);
                w = label;
                break;
            }
            case ControlKind::Edit: {
                auto* edit = new QLineEdit(text, parent);
                if (c.flags & kRightAligned) edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
                edit->setReadOnly((c.flags & kReadOnly) != 0);
                if (c.flags & kPassword) edit->setEchoMode(QLineEdit::Password);
                w = edit;
                break;
            }
            case ControlKind::Button:
            case ControlKind::DefaultButton: {
                auto* button = new QPushButton(text, parent);
                button->setAutoDefault(true);  // Enter on a focused button presses it
                button->setDefault(c.kind == ControlKind::DefaultButton);
                w = button;
                break;
            }
            case ControlKind::CheckBox:
                w = new QCheckBox(text, parent);
                break;
            case ControlKind::GroupBox: {
                auto* box = new QGroupBox(text, parent);
                box->setAttribute(Qt::WA_TransparentForMouseEvents);
                w = box;
                break;
            }
            case ControlKind::ComboBox:
                w = new QtComboBox(parent);
                break;
            case ControlKind::ListBox:
                w = new QListWidget(parent);
                break;
            case ControlKind::Frame:
                w = new QtFrameRect(parent);
                break;
            case ControlKind::Icon: {
                auto* icon = new QLabel(parent);
                icon->setPixmap(QPixmap::fromImage(icon_image(c.icon)));
                icon->setAttribute(Qt::WA_TransparentForMouseEvents);
                w = icon;
                break;
            }
            case ControlKind::OwnerDrawButton: {
                auto* button = new QtOwnerDrawButton(*this, window, c.id, parent);
                button->setText(text);
                button->setFocusPolicy(Qt::StrongFocus);
                w = button;
                break;
            }
        }
        int height = c.rect.height();
        // A drop-down list's template height includes its open list.
        if (c.kind == ControlKind::ComboBox) height = std::min(height, w->sizeHint().height());
        w->setGeometry(c.rect.left, c.rect.top, c.rect.width(), height);
        w->setVisible((c.flags & kHidden) == 0);
        w->setEnabled((c.flags & kDisabled) == 0);

        QString shown = without_mnemonic(text);
        if (c.kind == ControlKind::GroupBox && shown.isEmpty())
            w->setAccessibleName(qt_resource_text(layout.title));  // a frame round the window's own settings
        else if (symbol_button(c.kind, shown) && !label_before.isEmpty())
            w->setAccessibleName(label_before + u'…');
        else if (named_by_own_text(c.kind) || (c.kind == ControlKind::OwnerDrawButton && !shown.isEmpty()))
            w->setAccessibleName(shown);
        else if (c.kind == ControlKind::Edit || c.kind == ControlKind::ComboBox || c.kind == ControlKind::ListBox ||
                 c.kind == ControlKind::OwnerDrawButton)
            w->setAccessibleName(label_before);
        else if (c.kind == ControlKind::Icon)
            w->setAccessibleName(qt_resource_text(layout.title));

        // A label right before an edit or list is its buddy: its Alt letter moves there.
        if (label_widget && (c.kind == ControlKind::Edit || c.kind == ControlKind::ComboBox || c.kind == ControlKind::ListBox))
            label_widget->setBuddy(w);
        label_widget = nullptr;
        if ((c.kind == ControlKind::Static || c.kind == ControlKind::GroupBox) && !shown.trimmed().isEmpty()) {
            // A label names the control after it without its colon: "Port :" names the list "Port";
            // a group's title names a control that has no label of its own ("Skrypt").
            if (c.kind == ControlKind::Static) label_widget = static_cast<QtStatic*>(w);
            label_before = shown.trimmed();
            while (label_before.endsWith(u':')) label_before = label_before.chopped(1).trimmed();
        }

        if (c.id != kNoId) {
            w->setObjectName(QStringLiteral("kc_%1").arg(c.id));
            control_widgets_[{window, c.id}] = ControlEntry{w, c.kind};
            wire_control(w, window, c);
            refresh_control(window, c.id, ControlChange::Text);
        }
    }
}

void QtHost::wire_control(QWidget* widget, WindowId window, const ControlTemplate& c) {
    int id = c.id;
    switch (c.kind) {
        case ControlKind::Edit: {
            auto* edit = static_cast<QLineEdit*>(widget);
            // textChanged, not textEdited: text set through the accessibility interface
            // (screen readers, UI automation) must reach the program as typed text does.
            connect(edit, &QLineEdit::textChanged, this, [this, edit, window, id](const QString& typed) {
                if (host_writing_) return;
                std::string bytes = core_text(typed);
                // Characters the code page has no place for show as the core keeps them.
                QString kept = qt_text(bytes);
                if (kept != typed) {
                    HostWriteScope writing(*this);
                    int cursor = edit->cursorPosition();
                    edit->setText(kept);
                    edit->setCursorPosition(cursor);
                }
                controls_.set_text(window, id, bytes, Origin::View);
            });
            break;
        }
        case ControlKind::Button:
        case ControlKind::DefaultButton:
        case ControlKind::OwnerDrawButton:
            connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, this,
                    [this, window, id] { send_command(window, id); });
            break;
        case ControlKind::CheckBox:
            // toggled, not clicked: the accessibility toggle action changes the box without a click.
            connect(static_cast<QAbstractButton*>(widget), &QAbstractButton::toggled, this,
                    [this, window, id](bool checked) {
                        if (host_writing_) return;
                        controls_.set_checked(window, id, checked, Origin::View);
                        send_command(window, id);
                    });
            break;
        case ControlKind::ComboBox:
            // currentIndexChanged, not activated: a choice made through the accessibility
            // interface must reach the program as a click does.
            connect(static_cast<QComboBox*>(widget), &QComboBox::currentIndexChanged, this,
                    [this, window, id](int index) {
                        if (host_writing_) return;
                        controls_.set_selection(window, id, index, Origin::View);
                        // As a list's selection-change notice: a procedure may follow it.
                        send_command(window, id);
                    });
            break;
        case ControlKind::ListBox:
            connect(static_cast<QListWidget*>(widget), &QListWidget::currentRowChanged, this,
                    [this, window, id](int row) {
                        controls_.set_selection(window, id, row, Origin::View);
                        send_command(window, id);
                    });
            break;
        default:
            break;
    }
}

void QtHost::forget_window(WindowId window) {
    for (auto it = control_widgets_.begin(); it != control_widgets_.end();) {
        if (it->first.first == window)
            it = control_widgets_.erase(it);
        else
            ++it;
    }
}

const DialogTemplate* QtHost::layout_of(WindowId window) const {
    if (window == kPanelWindow) return find_template(kPanelTemplateId);
    auto it = dialogs_.find(window);
    return it == dialogs_.end() ? nullptr : it->second.layout;
}

// ---- the main window ----------------------------------------------------------------------------------

bool QtHost::create_main_window(WindowProcedure& procedure) {
    const MainWindowTemplate& t = main_window_template();
    auto* frame = new QtMainFrame(*this);
    main_frame_ = frame;
    main_procedure_ = &procedure;
    frame->setWindowTitle(qt_resource_text(t.title));
    frame->setWindowIcon(icon_set(t.icon));

    for (const MenuBarEntry& entry : t.menu) {
        if (entry.command != 0) {
            QAction* action = frame->menuBar()->addAction(qt_resource_text(entry.text));
            menu_actions_[entry.command] = action;
            // Qt hides the menu before it signals, so a command may open a modal dialog here.
            connect(action, &QAction::triggered, this, [this, cmd = entry.command] { send_command(kMainWindow, cmd); });
            continue;
        }
        QMenu* menu = frame->menuBar()->addMenu(qt_resource_text(entry.text));
        for (const MenuItemTemplate& item : entry.items) {
            if (!item.text) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(qt_resource_text(item.text));
            menu_actions_[item.command] = action;
            connect(action, &QAction::triggered, this, [this, cmd = item.command] { send_command(kMainWindow, cmd); });
        }
    }

    // Accelerators are shortcuts of their menu items: the menu shows them, and a greyed
    // item's shortcut does nothing. One without an item gets an action of the window.
    for (const AcceleratorTemplate& a : t.accelerators) {
        Qt::Key key = a.key == AcceleratorKey::PageUp ? Qt::Key_PageUp : Qt::Key_PageDown;
        QKeySequence sequence(QKeyCombination(a.shift ? Qt::ShiftModifier : Qt::NoModifier, key));
        QAction* action = menu_action(a.command);
        if (!action) {
            action = new QAction(frame);
            frame->addAction(action);
            menu_actions_[a.command] = action;
            connect(action, &QAction::triggered, this, [this, cmd = a.command] { send_command(kMainWindow, cmd); });
        }
        action->setShortcuts(action->shortcuts() << sequence);
        action->setShortcutContext(Qt::WindowShortcut);
    }

    auto* client = new QWidget(frame);
    auto* grid = new QGridLayout(client);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    viewport_ = new QtViewport(*this, client);
    grid->addWidget(viewport_, 0, 0);
    for (Orientation o : {Orientation::Vertical, Orientation::Horizontal}) {
        auto* bar = new QScrollBar(o == Orientation::Vertical ? Qt::Vertical : Qt::Horizontal, client);
        bar->setFocusPolicy(Qt::NoFocus);
        // Its "scroll here" moves the thumb without an action the view could follow.
        bar->setContextMenuPolicy(Qt::NoContextMenu);
        bar->setRange(0, 0);
        bar->hide();  // an empty range shows no bar
        connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, o](int action) {
            switch (action) {
                case QAbstractSlider::SliderSingleStepSub: scroll_action(o, kScrollLineUp, 0); break;
                case QAbstractSlider::SliderSingleStepAdd: scroll_action(o, kScrollLineDown, 0); break;
                case QAbstractSlider::SliderPageStepSub: scroll_action(o, kScrollPageUp, 0); break;
                case QAbstractSlider::SliderPageStepAdd: scroll_action(o, kScrollPageDown, 0); break;
                case QAbstractSlider::SliderToMinimum: scroll_action(o, kScrollTop, 0); break;
                case QAbstractSlider::SliderToMaximum: scroll_action(o, kScrollBottom, 0); break;
                case QAbstractSlider::SliderMove:
                    // Dragging the thumb tracks; a wheel step lands at once.
                    scroll_action(o, bar->isSliderDown() ? kScrollThumbTrack : kScrollThumbPosition,
                                  bar->sliderPosition());
                    break;
                default: break;
            }
        });
        connect(bar, &QAbstractSlider::sliderReleased, this,
                [this, bar, o] { scroll_action(o, kScrollThumbPosition, bar->sliderPosition()); });
        scroll_bars_[bar_index(o)] = bar;
        if (o == Orientation::Vertical)
            grid->addWidget(bar, 0, 1);
        else
            grid->addWidget(bar, 1, 0);
    }
    frame->setCentralWidget(client);
    viewport_->setFocus();  // until the panel gives it to its first control

    frame->move(t.x, t.y);
    frame->resize(t.width, t.height);

    if (procedure.on_create() == -1) {
        main_procedure_ = nullptr;
        menu_actions_.clear();
        viewport_ = nullptr;
        scroll_bars_[0] = scroll_bars_[1] = nullptr;
        delete frame;
        return false;
    }
    return true;
}

bool QtHost::create_panel(WindowProcedure& procedure) {
    if (!main_frame_ || !viewport_) return false;
    const DialogTemplate* layout = find_template(kPanelTemplateId);
    auto* panel = new QtPanel(*this, viewport_);
    panel->setFont(dialog_font());
    panel->setGeometry(0, 0, layout ? layout->width : 2000, layout ? layout->height : 1000);
    panel_ = panel;
    panel_procedure_ = &procedure;
    if (layout) build_controls(panel, kPanelWindow, *layout);
    panel->show();
    procedure.on_init();
    // As a dialog manager does: the first control that takes the keyboard gets it, so
    // digits typed at once land in price 1.
    if (layout) {
        for (const ControlTemplate& c : layout->controls) {
            QWidget* w = control_widget(kPanelWindow, c.id);
            if (w && !w->isHidden() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
                w->setFocus(Qt::OtherFocusReason);
                break;
            }
        }
    }
    return true;
}

void QtHost::show_window(WindowId window, ShowMode mode) {
    QWidget* w = window_widget(window);
    if (!w) return;
    if (window == kMainWindow) {
        bool first = !w->testAttribute(Qt::WA_WState_ExplicitShowHide);
        switch (mode) {
            case ShowMode::Normal: w->showNormal(); break;
            case ShowMode::Hide:
                w->hide();
                watch_tray_while_hidden();
                break;
            case ShowMode::Minimized: w->showMinimized(); break;
        }
        if (first && mode != ShowMode::Hide && w->windowHandle()) {
            // The template gives the outer size; take off what the window manager's frame adds.
            QMargins m = w->windowHandle()->frameMargins();
            const MainWindowTemplate& t = main_window_template();
            if (!m.isNull()) w->resize(t.width - m.left() - m.right(), t.height - m.top() - m.bottom());
        }
        return;
    }
    w->setVisible(mode != ShowMode::Hide);
}

void QtHost::bring_to_front(WindowId window) {
    if (QWidget* w = window_widget(window)) {
        w->raise();
        w->activateWindow();
    }
}

int QtHost::run_message_loop() {
    if (!quit_requested_) {
        in_message_loop_ = true;
        QApplication::exec();
        in_message_loop_ = false;
    }
    quit_requested_ = false;
    return exit_code_;
}

void QtHost::post_close(WindowId window) {
    post([this, window] {
        if (window == kMainWindow)
            main_close_requested();
        else
            send_command(window, kIdCancel);
    });
}

void QtHost::main_close_requested() {
    if (main_procedure_ && main_procedure_->on_close()) destroy_main_window();
}

void QtHost::destroy_main_window() {
    if (WindowProcedure* panel = panel_procedure_) {
        panel_procedure_ = nullptr;
        panel->on_destroy();
        kill_window_timers(kPanelWindow);
        forget_window(kPanelWindow);
    }
    if (WindowProcedure* main = main_procedure_) {
        main_procedure_ = nullptr;
        main->on_destroy();
        kill_window_timers(kMainWindow);
        forget_window(kMainWindow);
    }
    menu_actions_.clear();
    viewport_ = nullptr;
    scroll_bars_[0] = scroll_bars_[1] = nullptr;
    panel_ = nullptr;
    if (QtMainFrame* frame = main_frame_) {
        main_frame_ = nullptr;
        frame->hide();
        frame->deleteLater();  // this may run inside one of its own events
        dying_frame_ = frame;  // and the loop may end before it gets to it
    }
}

void QtHost::quit(int exit_code) {
    quit_requested_ = true;
    exit_code_ = exit_code;
    // Without a running loop Qt would refuse every later loop, modal ones included;
    // the flag alone keeps the next run_message_loop from starting.
    if (in_message_loop_) QCoreApplication::exit(exit_code);
}

void QtHost::client_resized() {
    if (main_procedure_ && viewport_ && main_frame_)
        main_procedure_->on_size(viewport_->width(), viewport_->height(), main_frame_->isMinimized());
}

void QtHost::main_state_changed() {
    if (!main_frame_) return;
    bool minimized = main_frame_->isMinimized();
    if (minimized == last_minimized_) return;
    last_minimized_ = minimized;
    // After the state change has settled: the procedure may hide the window.
    post([this, minimized] {
        if (main_procedure_ && viewport_) main_procedure_->on_size(viewport_->width(), viewport_->height(), minimized);
    });
}

void QtHost::main_char(const QString& text) {
    if (!main_procedure_) return;
    for (unsigned char byte : core_text(text)) main_procedure_->on_char(byte);
}

void QtHost::window_painted(WindowId window) {
    if (first_paint_seen_) return;
    if (window != kPanelWindow && panel_) return;  // the main window shows once its panel has painted
    first_paint_seen_ = true;
    if (on_first_paint) post(on_first_paint);
}

void QtHost::scroll_action(Orientation orientation, int code, int position) {
    if (main_procedure_) main_procedure_->on_scroll(orientation, code, position);
}

// ---- dialogs -------------------------------------------------------------------------------------------

int QtHost::run_dialog(int template_id, WindowProcedure& procedure) {
    const DialogTemplate* layout = find_template(template_id);
    if (!layout || dialogs_.count(template_id)) return -1;
    WindowId window = template_id;
    auto* dialog = new QtDialog(*this, window, owner_widget(kMainWindow));
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::MSWindowsFixedSizeDialogHint;
    if (layout->close_box) flags |= Qt::WindowCloseButtonHint;
    dialog->setWindowFlags(flags);
    dialog->setWindowTitle(qt_resource_text(layout->title));
    dialog->setFont(dialog_font());
    dialog->setFixedSize(layout->width, layout->height);
    dialogs_[window] = DialogEntry{dialog, &procedure, layout, false, 0};
    build_controls(dialog, window, *layout);

    procedure.on_init();
    if (!dialogs_[window].ended) dialog->exec();
    int result = dialogs_[window].result;
    procedure.on_destroy();

    kill_window_timers(window);
    forget_window(window);
    dialogs_.erase(window);
    delete dialog;
    return result;
}

void QtHost::end_dialog(WindowId dialog, int result) {
    auto it = dialogs_.find(dialog);
    if (it == dialogs_.end() || it->second.ended) return;
    it->second.ended = true;
    it->second.result = result;
    if (it->second.widget->isVisible()) it->second.widget->done(result);
}

void QtHost::send_command(WindowId window, int command) {
    if (WindowProcedure* p = procedure(window)) p->on_command(command);
}

void QtHost::send_default_command(WindowId window) {
    int id = kIdOk;
    if (const DialogTemplate* layout = layout_of(window)) {
        for (const ControlTemplate& c : layout->controls)
            if (c.kind == ControlKind::DefaultButton) {
                id = c.id;
                break;
            }
    }
    // A greyed default button takes no Enter; a hidden one still does.
    if (controls_.exists(window, id) && !controls_.enabled(window, id)) return;
    send_command(window, id);
}

// ---- message boxes and choosers -------------------------------------------------------------------------

MessageResult QtHost::message_box(WindowId owner, const std::string& text, const std::string& caption,
                                  MessageButtons buttons, MessageIcon icon) {
    QMessageBox::Icon kind = QMessageBox::NoIcon;
    switch (icon) {
        case MessageIcon::Exclamation:
        case MessageIcon::Warning: kind = QMessageBox::Warning; break;
        case MessageIcon::Question: kind = QMessageBox::Question; break;
        case MessageIcon::Information: kind = QMessageBox::Information; break;
        case MessageIcon::None: break;
    }
    QMessageBox box(kind, qt_text(caption), qt_text(keep_parentheses_together(text)), QMessageBox::NoButton,
                    owner_widget(owner));
    box.setTextFormat(Qt::PlainText);
    QPushButton* ok = box.addButton(QMessageBox::Ok);
    QPushButton* cancel = buttons == MessageButtons::OkCancel ? box.addButton(QMessageBox::Cancel) : nullptr;
    box.setDefaultButton(ok);
    box.setEscapeButton(cancel ? cancel : ok);
    box.exec();
    return cancel && box.clickedButton() == cancel ? MessageResult::Cancel : MessageResult::Ok;
}

std::optional<std::string> QtHost::choose_open_file(WindowId owner, const std::vector<FileFilter>& filters) {
    QFileDialog dialog(owner_widget(owner));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList names;
    for (const FileFilter& f : filters) names << filter_text(f);
    if (!names.isEmpty()) {
        dialog.setNameFilters(names);
        dialog.selectNameFilter(names.first());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return core_text(QDir::toNativeSeparators(QFileInfo(dialog.selectedFiles().first()).absoluteFilePath()));
}

std::optional<Color> QtHost::choose_color(WindowId owner, Color initial, CustomColors& custom) {
    int count = std::min(QColorDialog::customCount(), static_cast<int>(custom.size()));
    for (int i = 0; i < count; ++i) QColorDialog::setCustomColor(i, qt_color(custom[static_cast<size_t>(i)]));
    QColorDialog dialog(qt_color(initial), owner_widget(owner));
    int accepted = dialog.exec();
    // Custom colours the operator defined stay, whichever button closed the chooser.
    for (int i = 0; i < count; ++i) custom[static_cast<size_t>(i)] = core_color(QColorDialog::customColor(i));
    if (accepted != QDialog::Accepted) return std::nullopt;
    return core_color(dialog.selectedColor());
}

bool QtHost::choose_font(WindowId owner, FontSpec& font, Color& color) {
    QFontDialog dialog(font_from_desc(font), owner_widget(owner));
    dialog.setOption(QFontDialog::MonospacedFonts);
    if (dialog.exec() != QDialog::Accepted) return false;
    desc_from_font(dialog.selectedFont(), font);
    (void)color;  // the chooser offers no colour: the current one stays
    return true;
}

QWidget* QtHost::owner_widget(WindowId owner) const {
    auto it = dialogs_.find(owner);
    if (it != dialogs_.end()) return it->second.widget;
    return main_frame_;
}

// ---- tray, cursor, fonts ---------------------------------------------------------------------------------

// True only while the icon is really in a tray: the window may hide only then, or
// nothing would bring it back.
bool QtHost::has_tray() const { return tray_ && tray_->isVisible() && tray_available(); }

bool QtHost::tray_add(const std::string& tip) {
    // Shown even without a tray: Qt puts the icon in one that starts later.
    if (!tray_) {
        tray_ = new QSystemTrayIcon(this);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            TrayEvent event = reason == QSystemTrayIcon::Trigger   ? TrayEvent::LeftPress
                              : reason == QSystemTrayIcon::Context ? TrayEvent::RightPress
                                                                   : TrayEvent::Other;
            if (main_procedure_) main_procedure_->on_tray(event);
        });
        tray_menu_ = new QMenu;
        connect(tray_menu_->addAction(qt_text(txt(Txt::TrayShow))), &QAction::triggered, this,
                [this] { raise_main_window(); });
        // "Zakończ" closes as the main window's close box does: the close question first.
        connect(tray_menu_->addAction(qt_text(txt(Txt::TrayQuit))), &QAction::triggered, this,
                [this] { post_close(kMainWindow); });
        tray_->setContextMenu(tray_menu_);
    }
    tray_->setIcon(QIcon(QPixmap::fromImage(icon_image(main_window_template().icon, 16))));
    tray_->setToolTip(qt_text(tip));
    tray_->show();
    return has_tray();  // false while the icon waits for a tray
}

void QtHost::tray_remove() {
    if (!tray_) return;
    tray_->hide();
    tray_->deleteLater();  // this may run inside its own signal
    tray_ = nullptr;
    if (tray_menu_) tray_menu_->deleteLater();
    tray_menu_ = nullptr;
}

void QtHost::watch_tray_while_hidden() {
    if (!tray_watch_) {
        tray_watch_ = new QTimer(this);
        tray_watch_->setInterval(kTrayWatchMs);
        connect(tray_watch_, &QTimer::timeout, this, [this] {
            if (!main_frame_ || !main_frame_->isHidden()) {
                tray_watch_->stop();
                return;
            }
            // The tray went away (its panel crashed or restarts): the icon was the only way
            // back to the hidden window, so it comes back minimised.
            if (!has_tray()) {
                tray_watch_->stop();
                show_window(kMainWindow, ShowMode::Minimized);
            }
        });
    }
    tray_watch_->start();
}

void QtHost::raise_main_window() {
    if (!main_frame_) return;
    show_window(kMainWindow, ShowMode::Normal);
    bring_to_front(kMainWindow);
}

void QtHost::set_wait_cursor(bool waiting) {
    if (waiting == wait_cursor_) return;
    wait_cursor_ = waiting;
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtHost::set_control_font(WindowId window, int control_id, const FontSpec& font) {
    if (QWidget* w = control_widget(window, control_id)) {
        w->setFont(font_from_desc(font));
        w->update();
    }
}

// ---- terminal view ------------------------------------------------------------------------------------------

void QtHost::move_window(WindowId window, int x, int y, int width, int height) {
    QWidget* w = window_widget(window);
    if (!w) return;
    QRect now = w->isWindow() ? w->frameGeometry() : w->geometry();
    if (now == QRect(x, y, width, height)) return;  // painting asks for this every time
    if (painting_ > 0) {
        // Not in the middle of a paint: the move repaints.
        post([this, window, x, y, width, height] { move_window(window, x, y, width, height); });
        return;
    }
    if (w->isWindow()) {
        QSize extra = w->frameGeometry().size() - w->geometry().size();
        w->move(x, y);
        w->resize(width - extra.width(), height - extra.height());
    } else {
        w->setGeometry(x, y, width, height);
    }
}

void QtHost::scroll_window(WindowId window, int dx, int dy) {
    QWidget* w = window == kMainWindow ? viewport_ : window_widget(window);
    if (w && (dx || dy)) w->scroll(dx, dy);  // children move with the contents
}

void QtHost::set_scroll_bar(WindowId window, Orientation orientation, int position, int range_max, bool redraw) {
    QScrollBar* bar = window == kMainWindow ? scroll_bar(orientation) : nullptr;
    if (!bar) return;
    range_max = std::max(0, range_max);
    bar->setRange(0, range_max);
    if (viewport_) {
        int page = orientation == Orientation::Vertical ? viewport_->height() : viewport_->width();
        bar->setPageStep(std::max(1, page));
    }
    bar->setValue(position);
    // Like a window scroll bar: an empty range takes the bar away.
    bar->setVisible(range_max > 0);
    (void)redraw;
}

void QtHost::set_scroll_position(WindowId window, Orientation orientation, int position, bool redraw) {
    QScrollBar* bar = window == kMainWindow ? scroll_bar(orientation) : nullptr;
    if (bar) bar->setValue(position);
    (void)redraw;
}

Rect QtHost::window_rect(WindowId window) const {
    QWidget* w = window_widget(window);
    if (!w) return Rect{};
    QRect r = w->isWindow() ? w->frameGeometry() : w->geometry();
    return Rect{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
}

// ---- lookups ---------------------------------------------------------------------------------------------------

WindowProcedure* QtHost::procedure(WindowId window) const {
    if (window == kMainWindow) return main_procedure_;
    if (window == kPanelWindow) return panel_procedure_;
    auto it = dialogs_.find(window);
    return it == dialogs_.end() ? nullptr : it->second.procedure;
}

QWidget* QtHost::window_widget(WindowId window) const {
    if (window == kMainWindow) return main_frame_;
    if (window == kPanelWindow) return panel_;
    auto it = dialogs_.find(window);
    return it == dialogs_.end() ? nullptr : it->second.widget;
}

QWidget* QtHost::paint_target(WindowId window) const {
    if (window == kMainWindow) return viewport_;
    return window_widget(window);
}

QWidget* QtHost::control_widget(WindowId window, int control_id) const {
    auto it = control_widgets_.find({window, control_id});
    return it == control_widgets_.end() ? nullptr : it->second.widget.data();
}

QAction* QtHost::menu_action(int command) const {
    auto it = menu_actions_.find(command);
    return it == menu_actions_.end() ? nullptr : it->second;
}

QScrollBar* QtHost::scroll_bar(Orientation orientation) const { return scroll_bars_[bar_index(orientation)]; }

bool QtHost::save_screenshot(WindowId window, const std::string& path) const {
    return save_widget_png(window_widget(window), path);
}

}  // namespace kc
