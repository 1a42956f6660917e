// Platform layer (Qt): the program's entry point. It joins the real host, the system
// clock and the POSIX serial backend to the core and starts it.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "app/main_window.h"
#include "state/state.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "hosts/qt/qt_host.h"
#ifdef KC_WITH_MQTT
#include "hosts/mqtt/mqtt_station.h"
#endif

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The program speaks Polish: so do the standard dialogs and message box buttons.
    QTranslator qt_texts;
    if (qt_texts.load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qt_texts);

    kc::QtHost host;
    kc::SystemClock clock;
    // The program-wide state is large (slot table, script buffer): keep it off the stack.
    auto program = std::make_unique<kc::Program>();
    kc::Program& p = *program;
    p.ui = &host;
    p.clock = &clock;
    kc::use_posix_serial(p);
#ifdef KC_WITH_MQTT
    // Head office's broker, when the extra settings file names one.
    return kc::run_program(p, [](kc::Program& program) {
        return kc::mqtt::make_station_link(program.extra, program.state.work_directory);
    });
#else
    return kc::run_program(p);
#endif
}
