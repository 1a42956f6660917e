// Benchmarks: start-up of the real program with the real Qt host, in test mode, up to
// the first painted main window; then the resident memory. It ends the program the way
// closing does (destroy_main_window). Prints "startup_ms" and "rss_mib".
//
//   bench_startup [--shot picture.png]   also saves what the main window shows
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise; the settings
// file it writes goes to a temporary folder.
#if __has_include(<QApplication>)
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "app/main_window.h"
#include "state/state.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "hosts/qt/qt_host.h"

namespace {

double resident_mib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;  // kB
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    auto start = std::chrono::steady_clock::now();
    std::string shot;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--shot") == 0) shot = argv[i + 1];
    if (!shot.empty() && shot[0] != '/') shot = QDir::current().absoluteFilePath(QString::fromStdString(shot)).toStdString();
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid() || !QDir::setCurrent(folder.path())) {
        std::fprintf(stderr, "startup: no temporary folder\n");
        return 1;
    }

    kc::QtHost host;
    kc::SystemClock clock;
    auto program = std::make_unique<kc::Program>();
    kc::Program& p = *program;
    p.ui = &host;
    p.clock = &clock;
    kc::use_posix_serial(p);

    double startup_ms = -1, rss = -1;
    host.on_first_paint = [&] {
        startup_ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        rss = resident_mib();
        if (!shot.empty() && !host.save_screenshot(kc::kMainWindow, shot))
            std::fprintf(stderr, "startup: could not write %s\n", shot.c_str());
        host.destroy_main_window();  // destroys the record and quits
    };
    int code = kc::run_program(p);
    if (startup_ms < 0) {
        std::fprintf(stderr, "startup: the main window never painted (exit code %d)\n", code);
        return 1;
    }
    std::printf("startup_ms %.1f\nrss_mib %.1f\n", startup_ms, rss);
    return code;
}
#else
#include <cstdio>

int main() {
    std::puts("startup: built without Qt, nothing measured");
    return 0;
}
#endif
