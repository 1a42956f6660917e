// Platform layer (Qt): the widgets the host builds windows from.
#include "hosts/qt/qt_widgets.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QStylePainter>
#include <QTextLayout>
#include <algorithm>

#include "hosts/qt/qt_canvas.h"
#include "hosts/qt/qt_host.h"
#include "hosts/qt/qt_text.h"

namespace kc {
namespace {

Rect core_rect(const QRect& r) { return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

constexpr int kStaticFlags = Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::TextExpandTabs;

// Qt's own combo box interface names the box by its current entry on Linux (a label
// relation is meant to name it); screen readers and UI automation look it up by name.
class ComboAccessible : public QAccessibleWidget {
public:
    explicit ComboAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::ComboBox) {}
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && !widget()->accessibleName().isEmpty()) return widget()->accessibleName();
        if (t == QAccessible::Name || t == QAccessible::Value) return combo()->currentText();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << QAccessibleActionInterface::showMenuAction();
    }
    void doAction(const QString& action) override {
        if (action == QAccessibleActionInterface::showMenuAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* combo_accessible(const QString& key, QObject* object) {
    if (key == QLatin1String(QtComboBox::staticMetaObject.className()) && object && object->isWidgetType())
        return new ComboAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

bool dialog_key(QtHost& host, WindowId window, QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            host.send_default_command(window);
            return true;
        case Qt::Key_Escape:
            host.send_command(window, kIdCancel);
            return true;
        default:
            return false;
    }
}

// ---- statics -------------------------------------------------------------------------

QtStatic::QtStatic(QtHost& host, WindowId window, int id, QWidget* parent)
    : QLabel(parent), host_(host), window_(window), id_(id) {}

QString QtStatic::shown_text(bool* shortened) const {
    if (shortened) *shortened = false;
    const QString full = text();
    const QRect area = contentsRect();
    const QFontMetrics fm(font());
    QRect needed = fm.boundingRect(area, static_cast<int>(alignment()) | kStaticFlags, full);
    if (full.isEmpty() || (needed.height() <= area.height() && needed.width() <= area.width())) return full;
    if (shortened) *shortened = true;
    // Whole lines while they fit, then the rest on the last line, shortened.
    const int width = std::max(1, area.width());
    const int lines_fit = std::max(1, area.height() / std::max(1, fm.lineSpacing()));
    QString rest = without_mnemonic(full);
    QStringList lines;
    while (lines.size() < lines_fit - 1 && !rest.isEmpty()) {
        int end = rest.indexOf(u'\n');
        QString paragraph = end < 0 ? rest : rest.left(end);
        int taken = static_cast<int>(paragraph.size());
        if (!paragraph.isEmpty()) {
            QTextLayout layout(paragraph, font());
            layout.beginLayout();
            QTextLine line = layout.createLine();
            line.setLineWidth(width);
            layout.endLayout();
            if (line.isValid() && line.textLength() > 0) taken = line.textLength();
        }
        lines << paragraph.left(taken).trimmed();
        rest = rest.mid(taken);
        if (rest.startsWith(u'\n')) rest.remove(0, 1);
        rest = rest.trimmed();
    }
    rest.replace(u'\n', u' ');
    // On a single line the end stays too: status lines end in what to do ("chmod 600",
    // "ponowna próba za 30 s").
    lines << fm.elidedText(rest, lines.isEmpty() ? Qt::ElideMiddle : Qt::ElideRight, width);
    return lines.join(u'\n');
}

void QtStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    StaticColors colors;
    QColor text_color = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText);
    WindowProcedure* procedure = id_ == kNoId ? nullptr : host_.procedure(window_);
    if (procedure && procedure->on_static_color(id_, colors)) {
        painter.fillRect(rect(), qt_color(colors.background));
        text_color = qt_color(colors.text);
    }
    painter.setPen(text_color);
    painter.setFont(font());
    bool shortened = false;
    QString shown = shown_text(&shortened);
    if (shortened)
        painter.drawText(contentsRect(), static_cast<int>(alignment()) | Qt::TextExpandTabs, shown);
    else
        painter.drawText(contentsRect(), static_cast<int>(alignment()) | kStaticFlags, shown);
    QString tip = shortened ? without_mnemonic(text()) : QString();
    if (toolTip() != tip) setToolTip(tip);
}

// ---- drop-down lists ----------------------------------------------------------------------

QtComboBox::QtComboBox(QWidget* parent) : QComboBox(parent) {}

void QtComboBox::install_accessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(combo_accessible);
}

void QtComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    QRect label = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    QString full = option.currentText;
    option.currentText = fontMetrics().elidedText(full, Qt::ElideRight, std::max(1, label.width() - 2));
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    QString tip = option.currentText != full ? full : QString();
    if (toolTip() != tip) setToolTip(tip);
}

// ---- owner-drawn buttons ----------------------------------------------------------------

QtOwnerDrawButton::QtOwnerDrawButton(QtHost& host, WindowId window, int id, QWidget* parent)
    : QAbstractButton(parent), host_(host), window_(window), id_(id) {}

void QtOwnerDrawButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QtHost::PaintScope scope(host_);
    if (WindowProcedure* procedure = host_.procedure(window_)) {
        QtCanvas canvas(painter);
        procedure->on_draw_item(id_, canvas, Rect{0, 0, width(), height()});
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

// ---- frames -----------------------------------------------------------------------------

QtFrameRect::QtFrameRect(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

void QtFrameRect::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ---- the panel ----------------------------------------------------------------------------

QtPanel::QtPanel(QtHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    // The panel paints every pixel of its background itself, so nothing under it
    // (the terminal view) needs painting.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void QtPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    {
        QtHost::PaintScope scope(host_);
        if (WindowProcedure* procedure = host_.procedure(kPanelWindow)) {
            QtCanvas canvas(painter);
            procedure->on_paint(canvas, core_rect(event->rect()));
        }
    }
    host_.window_painted(kPanelWindow);
}

void QtPanel::keyPressEvent(QKeyEvent* event) {
    if (!dialog_key(host_, kPanelWindow, event)) QWidget::keyPressEvent(event);
}

// ---- dialogs -------------------------------------------------------------------------------

QtDialog::QtDialog(QtHost& host, WindowId window, QWidget* parent) : QDialog(parent), host_(host), window_(window) {}

void QtDialog::reject() { host_.send_command(window_, kIdCancel); }

void QtDialog::keyPressEvent(QKeyEvent* event) {
    if (!dialog_key(host_, window_, event)) QDialog::keyPressEvent(event);
}

void QtDialog::closeEvent(QCloseEvent* event) {
    // The close box asks like Escape; only end_dialog closes the dialog.
    event->ignore();
    host_.send_command(window_, kIdCancel);
}

void QtDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    QtHost::PaintScope scope(host_);
    if (WindowProcedure* procedure = host_.procedure(window_)) {
        QtCanvas canvas(painter);
        procedure->on_paint(canvas, core_rect(event->rect()));
    }
}

// ---- the main window ------------------------------------------------------------------------

QtViewport::QtViewport(QtHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void QtViewport::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // The window class background: the window-frame colour.
    painter.fillRect(event->rect(), Qt::black);
    {
        QtHost::PaintScope scope(host_);
        if (WindowProcedure* procedure = host_.procedure(kMainWindow)) {
            QtCanvas canvas(painter);
            procedure->on_paint(canvas, core_rect(event->rect()));
        }
    }
    host_.window_painted(kMainWindow);
}

void QtViewport::resizeEvent(QResizeEvent*) { host_.client_resized(); }

QtMainFrame::QtMainFrame(QtHost& host) : host_(host) {}

void QtMainFrame::closeEvent(QCloseEvent* event) {
    // The host destroys the window itself when the procedure agrees.
    event->ignore();
    host_.main_close_requested();
}

void QtMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) host_.main_state_changed();
}

void QtMainFrame::keyPressEvent(QKeyEvent* event) {
    if (!event->text().isEmpty())
        host_.main_char(event->text());
    else
        QMainWindow::keyPressEvent(event);
}

}  // namespace kc
