// Platform layer (Qt): the program's entry point. It reads the command line, makes sure
// one program runs per working folder, joins the real host, the system clock and the
// POSIX serial backend and files to the core and starts it; the end signals close it
// as "Zakończ" does.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "state/state.h"
#include "hosts/posix/posix_password_store.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "hosts/posix/xdg_autostart.h"
#include "hosts/qt/qt_end_signals.h"
#include "hosts/qt/qt_host.h"
#ifdef KC_WITH_MQTT
#include "hosts/mqtt/connection_check.h"
#include "hosts/mqtt/mqtt_station.h"
#endif
#include "hosts/qt/qt_single_instance.h"
#include "hosts/qt/qt_text.h"
#include "resources/texts.h"

#ifndef KC_VERSION
#define KC_VERSION "0"
#endif

namespace {

bool load_polish_qt_texts(QTranslator& texts) {
    return texts.load(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

// --help and --version print and end before any window or file exists; so do refused
// arguments. Returns the exit code, or -1 to go on. Settings stay in the settings file:
// there are no other options.
int read_command_line(int argc, char** argv) {
    // A plain core application: no display is needed to answer these.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kavor-cen"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KC_VERSION));
    QTranslator qt_texts;
    if (load_polish_qt_texts(qt_texts)) QCoreApplication::installTranslator(&qt_texts);

    QCommandLineParser parser;
    parser.setApplicationDescription(kc::qt_text(kc::txt(kc::Txt::CliDescription)));
    QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, kc::qt_text(kc::txt(kc::Txt::CliHelp)));
    QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                               kc::qt_text(kc::txt(kc::Txt::CliVersion)));
    parser.addOption(help);
    parser.addOption(version);
    bool parsed = parser.parse(QCoreApplication::arguments());
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        QString what = !parsed ? parser.errorText()
                               : kc::qt_text(kc::txt(kc::Txt::CliUnknownOption)) + parser.positionalArguments().first();
        std::fprintf(stderr, "%s\n", what.toLocal8Bit().constData());
        std::fputs(parser.helpText().toLocal8Bit().constData(), stderr);
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("kavor-cen %s\n", KC_VERSION);
        return 0;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        int code = read_command_line(argc, argv);
        if (code >= 0) return code;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kavor-cen"));
    QApplication::setApplicationVersion(QStringLiteral(KC_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(KC_APP_ID));
    // The program speaks Polish: so do the standard dialogs and message box buttons.
    QTranslator qt_texts;
    if (load_polish_qt_texts(qt_texts)) QApplication::installTranslator(&qt_texts);

    // Before the settings file is read: a second program here only brings the first forward.
    kc::SingleInstance instance(QDir::currentPath());
    if (instance.another_is_running()) return 0;

    kc::QtHost host;
    QObject::connect(&instance, &kc::SingleInstance::raise_requested, &host, [&host] { host.raise_main_window(); });
    kc::SystemClock clock;
    // The program-wide state is large (slot table, script buffer): keep it off the stack.
    auto program = std::make_unique<kc::Program>();
    kc::Program& p = *program;
    p.ui = &host;
    p.clock = &clock;
    kc::use_posix_serial(p);
    // "Uruchamiaj przy logowaniu": the login starts the program as the menu entry does.
    std::error_code no_folder;
    p.autostart = kc::make_xdg_autostart(kc::choose_autostart_launch(kc::running_binary(), KC_INSTALLED_BINARY,
                                                                     KC_MENU_LAUNCHER,
                                                                     std::filesystem::current_path(no_folder).string()),
                                         KC_APP_ID);
    kc::use_posix_files();
    // The head-office password: a file of mode 0600 that only this user reads.
    p.passwords = kc::make_posix_password_store();
    kc::EndSignals end_signals(host);
#ifdef KC_WITH_MQTT
    p.check_head_office = [](const kc::HeadOfficeCheckRequest& request, const std::atomic<bool>& cancel) {
        return kc::mqtt::check_connection(request, cancel);
    };
    // Head office's broker, when the extra settings file names one; made again when the
    // "Centrala" dialog changes the settings.
    return kc::run_program(p, [](kc::Program& program) {
        return kc::mqtt::make_station_link(program.extra, program.state.work_directory, program.passwords.get());
    });
#else
    return kc::run_program(p);
#endif
}
