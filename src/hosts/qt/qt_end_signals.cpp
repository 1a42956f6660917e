// Platform layer (Qt): the end signals through a self-pipe.
#include "hosts/qt/qt_end_signals.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "hosts/qt/qt_host.h"

namespace kc {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
struct sigaction g_former[3];

void on_end_signal(int) {
    const int saved = errno;
    const char byte = 1;
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void end_without_question(QtHost& host) {
    // A modal dialog or box is cancelled first: its own loop must have returned before
    // the window it belongs to goes away.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(0, &host, [&host] { end_without_question(host); });
        return;
    }
    if (host.window_widget(kMainWindow))
        host.destroy_main_window();  // the normal way out; it ends the loop with 0
    else
        host.quit(0);
}

}  // namespace

EndSignals::EndSignals(QtHost& host) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, &host, [this, &host] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        notifier_->setEnabled(false);  // once is enough: the end is under way
        end_without_question(host);
    });
    struct sigaction action = {};
    action.sa_handler = on_end_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &g_former[i]);
}

EndSignals::~EndSignals() {
    if (!notifier_) return;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_former[i], nullptr);
    notifier_.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

}  // namespace kc
