// GUI tests: the application object and the bounded waits every GUI test shares.
// Tests run the real Qt host on the offscreen platform, with Qt's own dialogs.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>

#include <ostream>

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig, under Qt's font database, keeps allocations for the life of the process;
// they are not this project's leaks. (One definition per binary: the linker folds them.)
extern "C" inline __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace kc::gui {

// The one QApplication of the test binary, made on first use.
inline QApplication& app() {
    static QApplication* instance = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        static int argc = 1;
        static char name[] = "kc-gui-test";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *instance;
}

// Processes events until `done` holds or `timeout_ms` passed; returns done().
inline bool wait_for(const std::function<bool()>& done, int timeout_ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeout_ms) return done();
        QTest::qWait(5);
    }
    return true;
}

// Types `text` into `widget` one character at a time, as a keyboard would; unlike
// QTest::keyClicks it takes any character, Polish letters included.
inline void type_text(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// Runs `action` on the next modal window (dialog, message box, chooser) once it is
// open. If none opens within `timeout_ms`, or the action leaves it open as long, the
// test fails and the window is closed, so that the test cannot hang.
inline void when_modal(std::function<void(QWidget*)> action, int timeout_ms = 5000) {
    struct State {
        QElapsedTimer clock;
        QPointer<QWidget> acted;  // null again once that window is gone
        bool started = false;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    state->clock.start();
    auto* poll = new QTimer(&app());
    QObject::connect(poll, &QTimer::timeout, poll, [poll, state, action, timeout_ms] {
        if (state->done) return;
        auto finish = [&] {
            state->done = true;
            poll->stop();
            poll->deleteLater();
        };
        QWidget* modal = QApplication::activeModalWidget();
        if (!state->started) {
            if (modal) {
                state->started = true;
                state->acted = modal;
                state->clock.restart();
                action(modal);
            } else if (state->clock.elapsed() > timeout_ms) {
                ADD_FAILURE() << "no modal window opened";
                finish();
            }
            return;
        }
        if (!state->acted || modal != state->acted.data()) {
            finish();  // it closed (or another opened over it)
        } else if (state->clock.elapsed() > timeout_ms) {
            ADD_FAILURE() << "the modal window stayed open";
            if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->done(0);
            finish();
        }
    });
    poll->start(10);
}

}  // namespace kc::gui
