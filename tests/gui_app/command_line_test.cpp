// The program's command line: --help and --version answer without a display and
// without touching any file; anything else is refused. The end signals end it as
// "Zakończ" does.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <signal.h>

#include "gui/gui_support.h"

namespace {

struct Outcome {
    int code = -1;
    QString out;
    QString err;
};

// Runs the program in `folder` with no display and a private config folder.
Outcome run_program(const QString& folder, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), folder + QStringLiteral("/data"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start(QString::fromUtf8(KC_PROGRAM), args);
    Outcome run;
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QStringList everything_in(const QString& folder) {
    QStringList names;
    QDir dir(folder);
    for (const QFileInfo& f : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        names << f.fileName();
    return names;
}

TEST(CommandLine, help_and_version_print_and_exit_creating_no_file) {
    kc::gui::app();  // QProcess wants an application object
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());

    Outcome version = run_program(folder.path(), {QStringLiteral("--version")});
    EXPECT_EQ(version.code, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, QStringLiteral("kavor-cen " KC_VERSION "\n"));

    Outcome help = run_program(folder.path(), {QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains(QStringLiteral("--version")));
    EXPECT_TRUE(help.out.contains(QStringLiteral("KavorCen.ini")));

    Outcome bad = run_program(folder.path(), {QStringLiteral("--port=COM2")});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("port"))) << bad.err.toStdString();
    Outcome stray = run_program(folder.path(), {QStringLiteral("KavorCen.ini")});
    EXPECT_EQ(stray.code, 2);

    EXPECT_EQ(everything_in(folder.path()), QStringList());
}

TEST(CommandLine, sigterm_sigint_and_sighup_end_the_program_with_0_and_its_files_saved) {
    kc::gui::app();
    for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.path() + QStringLiteral("/config"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder.path());
        process.start(QString::fromUtf8(KC_PROGRAM), {});
        ASSERT_TRUE(process.waitForStarted(5000));
        // The settings file is written once the window is made, the signals caught by then.
        const QString settings = folder.path() + QStringLiteral("/KavorCen.ini");
        const bool started = kc::gui::wait_for([&] { return QFileInfo::exists(settings); }, 15000);
        if (started) ::kill(static_cast<pid_t>(process.processId()), signal_number);
        const bool ended = process.waitForFinished(15000);
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        ASSERT_TRUE(started && ended);
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_TRUE(QFileInfo::exists(folder.path() + QStringLiteral("/KavorCen-dodatkowe.ini")));
    }
}

}  // namespace
