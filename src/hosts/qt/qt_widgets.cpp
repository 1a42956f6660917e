// Platform layer (Qt): the widgets the host builds windows from.
#include "hosts/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include "hosts/qt/qt_canvas.h"
#include "hosts/qt/qt_host.h"

namespace kc {
namespace {

Rect core_rect(const QRect& r) { return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

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
    painter.drawText(rect(), static_cast<int>(alignment()) | Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::TextExpandTabs,
                     text());
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
