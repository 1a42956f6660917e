// Platform layer (Qt): the widgets the host builds windows from. Each forwards its
// events to the procedure of its window through the host.
#pragma once
#include <QAbstractButton>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QWidget>

#include "platform/window_procedure.h"

class QKeyEvent;

namespace kc {

class QtHost;

// A static text. It asks its window's procedure for colours each time it paints,
// since captions change colour while the program runs. A text longer than the control
// holds is shortened with "…" (in the middle when it has one line, so its end shows);
// the tooltip then shows it whole (the accessible name always has it whole).
class QtStatic : public QLabel {
    Q_OBJECT
public:
    QtStatic(QtHost& host, WindowId window, int id, QWidget* parent);

    // The lines as painted: the text itself, or its shortened form when it does not fit.
    QString shown_text(bool* shortened = nullptr) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QtHost& host_;
    WindowId window_;
    int id_;
};

// A drop-down list. Its name for screen readers is its label ("Port"), its value the
// entry chosen; an entry wider than the box is shortened with "…" and shown whole in
// the tooltip.
class QtComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit QtComboBox(QWidget* parent);

    // Installs the accessible interface that names a QtComboBox by its label. Once.
    static void install_accessibility();

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A button whose face the procedure paints (on_draw_item), in button pixels.
class QtOwnerDrawButton : public QAbstractButton {
    Q_OBJECT
public:
    QtOwnerDrawButton(QtHost& host, WindowId window, int id, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QtHost& host_;
    WindowId window_;
    int id_;
};

// A grey frame rectangle, hollow: what lies under it stays visible.
class QtFrameRect : public QWidget {
    Q_OBJECT
public:
    explicit QtFrameRect(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The modeless panel: its background is the procedure's paint; controls lie over it.
class QtPanel : public QWidget {
    Q_OBJECT
public:
    QtPanel(QtHost& host, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QtHost& host_;
};

// A modal dialog from a template.
class QtDialog : public QDialog {
    Q_OBJECT
public:
    QtDialog(QtHost& host, WindowId window, QWidget* parent);

    // Escape: the procedure decides (the About box stays open).
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QtHost& host_;
    WindowId window_;
};

// The main window's client area: the terminal view, carrying the panel.
class QtViewport : public QWidget {
    Q_OBJECT
public:
    QtViewport(QtHost& host, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QtHost& host_;
};

class QtMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit QtMainFrame(QtHost& host);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QtHost& host_;
};

// Enter and Escape as a dialog manager treats them; true when the key was one of them.
bool dialog_key(QtHost& host, WindowId window, QKeyEvent* event);

}  // namespace kc
