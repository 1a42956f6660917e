// GUI tests (application core and panel): the program on the real Qt host. In test
// mode the preview is checked on the pixels of the grabbed panel; connected, the real
// serial backend talks to the virtual sign on a pseudo-terminal reached as COM1.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleEditableTextInterface>
#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "state/state.h"
#include "gui/gui_support.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "hosts/posix/uucp_lock.h"
#include "hosts/qt/qt_end_signals.h"
#include "hosts/qt/qt_host.h"
#include "hosts/qt/qt_single_instance.h"
#include "resources/command_ids.h"
#include "signsim/sign_simulator.h"

namespace kc {
namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

const QColor kLit(255, 255, 255);
const QColor kDark(20, 20, 20);
const QColor kGrey(180, 180, 180);

// Centre of segment `seg` (a..g, or '.' for the point) of place `place` in field k (0..4).
QPoint segment_point(int k, int place, char seg) {
    const int x = 450 + 55 * place, y = 112 + 81 * k;
    switch (seg) {
        case 'a': return {x + 15, y + 2};
        case 'b': return {x + 27, y + 15};
        case 'c': return {x + 27, y + 40};
        case 'd': return {x + 15, y + 52};
        case 'e': return {x + 2, y + 40};
        case 'f': return {x + 2, y + 15};
        case 'g': return {x + 15, y + 27};
        default: return {x + 37, y + 52};
    }
}

class AppGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::app();
        ASSERT_TRUE(work_.isValid());
        old_directory_ = std::filesystem::current_path();
        std::filesystem::current_path(work_.path().toStdString());
        // COM1 reaches whatever the test links it to, never a real port of the machine.
        config_ = work_.path().toStdString() + "/config";
        std::filesystem::create_directories(config_ + "/kavorcen");
        setenv("XDG_CONFIG_HOME", config_.c_str(), 1);

        host = std::make_unique<QtHost>();
        host->tray_available = [this] { return tray_up; };  // the offscreen platform has no tray
        program = std::make_unique<Program>();
        Program& p = *program;
        p.ui = host.get();
        p.clock = &clock_;
        use_posix_serial(p);
        main_window = std::make_unique<MainWindow>(p);
        panel = std::make_unique<ControlPanel>(p);
        ASSERT_TRUE(host->create_main_window(*main_window));
        ASSERT_TRUE(host->create_panel(*panel));
        host->show_window(kMainWindow, ShowMode::Normal);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame()));
    }

    void TearDown() override {
        if (program && program->record) host->destroy_main_window();
        main_window.reset();
        panel.reset();
        host.reset();
        program.reset();
        unsetenv("XDG_CONFIG_HOME");
        std::filesystem::current_path(old_directory_);
    }

    Program& p() { return *program; }
    QMainWindow* frame() { return qobject_cast<QMainWindow*>(host->window_widget(kMainWindow)); }
    QWidget* widget(int id) { return host->control_widget(kPanelWindow, id); }
    template <class W>
    W* control(int id) {
        W* w = qobject_cast<W*>(widget(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    QString status() { return control<QLabel>(kIdStatus)->text(); }
    QImage grab_panel() { return host->window_widget(kPanelWindow)->grab(QRect(0, 0, 640, 520)).toImage(); }

    void type_price(int n, const char* text) {
        QLineEdit* edit = control<QLineEdit>(price_edit_id(n));
        edit->setFocus();
        edit->selectAll();
        gui::type_text(edit, u(text));
    }
    void click(int id) { QTest::mouseClick(widget(id), Qt::LeftButton); }

    // Answers the next message box with `button`, recording its text first.
    void answer_message(QMessageBox::StandardButton button, QString* text) {
        gui::when_modal([button, text](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            *text = box->text();
            box->button(button)->click();
        });
    }

    // Links COM1 to the virtual sign's line.
    void link_com1(const std::string& device) {
        std::filesystem::create_symlink(device, config_ + "/kavorcen/COM1");
    }

    std::unique_ptr<QtHost> host;
    std::unique_ptr<Program> program;
    std::unique_ptr<MainWindow> main_window;
    std::unique_ptr<ControlPanel> panel;
    bool tray_up = false;

private:
    QTemporaryDir work_;
    std::string config_;
    std::filesystem::path old_directory_;
    SystemClock clock_;
};

TEST_F(AppGuiTest, test_mode_price_lights_its_segments_and_blinks) {
    type_price(1, "4.59");
    click(kIdBlink1);
    ASSERT_TRUE(control<QCheckBox>(kIdBlink1)->isChecked());
    click(kIdSendPrices);
    ASSERT_TRUE(gui::wait_for([&] { return p().state.price_segments[0][2] != 0; }));

    // 4 with its point, 5, 9: lit and dark segments of each place in the lit phase.
    const char* lit[3] = {"bcfg.", "acdfg", "abcdfg"};
    const char* dark[3] = {"ade", "be.", "e."};
    ASSERT_TRUE(gui::wait_for([&] { return p().state.blink_phase == 0; }, 2000));
    QImage on = grab_panel();
    for (int place = 0; place < 3; ++place) {
        for (const char* s = lit[place]; *s; ++s)
            EXPECT_EQ(on.pixelColor(segment_point(0, place, *s)), kLit) << place << " " << *s;
        for (const char* s = dark[place]; *s; ++s)
            EXPECT_EQ(on.pixelColor(segment_point(0, place, *s)), kDark) << place << " " << *s;
    }
    // Field 2 stays blank.
    EXPECT_EQ(on.pixelColor(segment_point(1, 0, 'g')), kDark);

    ASSERT_TRUE(gui::wait_for([&] { return p().state.blink_phase == 1; }, 2000));
    QImage off = grab_panel();
    for (int place = 0; place < 3; ++place)
        for (const char* s = lit[place]; *s; ++s)
            EXPECT_EQ(off.pixelColor(segment_point(0, place, *s)), kDark) << place << " " << *s;
}

TEST_F(AppGuiTest, menu_states_and_status_follow_the_link_state) {
    EXPECT_EQ(status(), u("TRYB TESTU"));
    EXPECT_TRUE(host->menu_action(kCmdDisconnect)->isEnabled());
    EXPECT_FALSE(host->menu_action(kCmdTest)->isEnabled());
    EXPECT_TRUE(host->menu_action(kCmdConnect)->isEnabled());

    frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
    QTest::keyClick(frame(), Qt::Key_PageDown, Qt::ShiftModifier);  // "Rozłącz"
    ASSERT_TRUE(gui::wait_for([&] { return status() == u("ROZŁĄCZONY"); }));
    EXPECT_FALSE(host->menu_action(kCmdDisconnect)->isEnabled());
    EXPECT_TRUE(host->menu_action(kCmdTest)->isEnabled());

    host->menu_action(kCmdTest)->trigger();
    ASSERT_TRUE(gui::wait_for([&] { return status() == u("TRYB TESTU"); }));
    EXPECT_TRUE(host->menu_action(kCmdDisconnect)->isEnabled());
    EXPECT_FALSE(host->menu_action(kCmdTest)->isEnabled());
}

TEST_F(AppGuiTest, close_question_appears_and_cancel_keeps_the_program) {
    QString asked;
    answer_message(QMessageBox::Cancel, &asked);
    frame()->close();
    ASSERT_TRUE(gui::wait_for([&] { return !asked.isEmpty(); }));
    EXPECT_EQ(asked, u("Czy zamknąć program?"));
    EXPECT_NE(p().record, nullptr);
    EXPECT_TRUE(frame()->isVisible());

    asked.clear();
    answer_message(QMessageBox::Ok, &asked);
    host->menu_action(kCmdExit)->trigger();
    ASSERT_TRUE(gui::wait_for([&] { return p().record == nullptr; }));
    EXPECT_EQ(asked, u("Czy zamknąć program?"));
}

TEST_F(AppGuiTest, sigterm_during_the_close_question_closes_the_port_and_ends) {
    SignSimulator sign;
    ASSERT_FALSE(sign.start());
    link_com1(sign.path());
    host->menu_action(kCmdConnect)->trigger();
    ASSERT_TRUE(gui::wait_for([&] { return status() == u("POŁĄCZONY"); }));
    const std::string lock = posix::lock_file_path(sign.path());
    ASSERT_TRUE(std::filesystem::exists(lock));

    EndSignals end_signals(*host);
    gui::when_modal([](QWidget*) { std::raise(SIGTERM); });
    frame()->close();  // the question is open when the signal comes: it goes unanswered
    ASSERT_TRUE(gui::wait_for([&] { return p().record == nullptr; }));
    EXPECT_FALSE(std::filesystem::exists(lock));
    EXPECT_EQ(host->run_message_loop(), 0);
}

TEST_F(AppGuiTest, backlight_buttons_in_test_mode_answer_not_connected) {
    for (int id : {kIdBacklightOn, kIdBacklightOff}) {
        QString shown;
        answer_message(QMessageBox::Ok, &shown);
        click(id);
        ASSERT_TRUE(gui::wait_for([&] { return !shown.isEmpty(); }));
        EXPECT_EQ(shown, u("Nie połączony !   "));
    }
}

TEST_F(AppGuiTest, main_window_screenshot_in_test_mode) {
    const char* prices[5] = {"4.59", "5.09", "3.99", "6.29", "2.75"};
    for (int n = 1; n <= 5; ++n) type_price(n, prices[n - 1]);
    click(kIdSendPrices);
    ASSERT_TRUE(gui::wait_for([&] { return p().state.price_segments[4][2] != 0; }));
    // The lit half of the blink would not matter here: nothing blinks.
    QTest::qWait(50);
    const std::string path = std::string(KC_SCREENSHOT_DIR) + "/main_window_test_mode.png";
    ASSERT_TRUE(host->save_screenshot(kMainWindow, path));
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(AppGuiTest, connected_to_the_virtual_sign) {
    SignSimulator sign;
    ASSERT_FALSE(sign.start());
    link_com1(sign.path());

    host->menu_action(kCmdConnect)->trigger();
    ASSERT_TRUE(gui::wait_for([&] { return status() == u("POŁĄCZONY"); }));
    EXPECT_FALSE(host->menu_action(kCmdConnect)->isEnabled());
    EXPECT_TRUE(host->menu_action(kCmdTest)->isEnabled());

    // The status query (timer 4, every second) brings the sign's light level.
    ASSERT_TRUE(gui::wait_for([&] { return !control<QLabel>(kIdLightLevel)->text().isEmpty(); }, 5000));
    EXPECT_TRUE(control<QLabel>(kIdLightLevel)->text().contains(QStringLiteral("123")));

    sign.clear_received();
    type_price(1, "4.59");
    type_price(3, "3.99");
    click(kIdBlink1 + 2);
    click(kIdSendPrices);
    const std::vector<std::string> expected = {"21C4.59", "22C", "23M3.99", "24C", "25C", "20E"};
    auto price_frames = [&] {
        std::vector<ReceivedFrame> frames;
        for (const ReceivedFrame& f : sign.received())
            if (f.payload != "20S" && f.payload != "20Z") frames.push_back(f);
        return frames;
    };
    ASSERT_TRUE(gui::wait_for([&] { return price_frames().size() >= expected.size(); }, 5000));
    std::vector<ReceivedFrame> frames = price_frames();
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(frames[i].payload, expected[i]);
        EXPECT_EQ(frames[i].bytes, sign_frame(expected[i]));
        EXPECT_TRUE(frames[i].checksum_ok);
    }
    SignState state = sign.state();
    EXPECT_TRUE(state.blink[2]);
    uint8_t places[3] = {};
    sign_apply_price(places, "4.59");
    EXPECT_EQ(std::vector<uint8_t>(state.segments[0], state.segments[0] + 3), std::vector<uint8_t>(places, places + 3));
    // The acknowledged price shows in the preview too.
    ASSERT_TRUE(gui::wait_for([&] { return p().state.price_segments[0][2] != 0; }));
    // The sign confirms the batch on the line below the preview, which screen readers read.
    ASSERT_TRUE(gui::wait_for(
        [&] { return control<QLabel>(kIdPriceOutcome)->text().startsWith(u("Potwierdzone przez wieżę ")); }, 5000));
    EXPECT_EQ(control<QLabel>(kIdPriceOutcome)->accessibleName(), control<QLabel>(kIdPriceOutcome)->text());
    EXPECT_TRUE(control<QLabel>(kIdPriceOutcome)->isVisibleTo(frame()));
    ASSERT_TRUE(host->save_screenshot(kMainWindow, std::string(KC_SCREENSHOT_DIR) + "/main_window_confirmed.png"));

    // No bulbs while the backlight is off; "Włącz" and the "20Z" answer bring them.
    EXPECT_EQ(grab_panel().pixelColor(224 + 16, 144 + 8), kGrey);
    click(kIdBacklightOn);
    ASSERT_TRUE(gui::wait_for([&] { return p().record->backlight_on.load(); }, 5000));
    EXPECT_TRUE(sign.state().backlight);
    ASSERT_TRUE(gui::wait_for([&] {
        QImage img = grab_panel();
        int changed = 0;
        for (int y = 144; y < 176; ++y)
            for (int x = 224; x < 256; ++x) changed += img.pixelColor(x, y) != kGrey ? 1 : 0;
        return changed > 50;
    }, 2000));

    host->menu_action(kCmdDisconnect)->trigger();
    ASSERT_TRUE(gui::wait_for([&] { return status() == u("ROZŁĄCZONY"); }));
    EXPECT_TRUE(host->menu_action(kCmdConnect)->isEnabled());
    sign.stop();
}

TEST_F(AppGuiTest, price_and_blink_set_through_accessibility_reach_the_program) {
    QAccessibleInterface* price = QAccessible::queryAccessibleInterface(widget(kIdPrice1));
    ASSERT_NE(price, nullptr);
    ASSERT_NE(price->editableTextInterface(), nullptr);
    price->editableTextInterface()->replaceText(0, price->textInterface()->characterCount(), u("6.78"));
    QAccessibleInterface* blink = QAccessible::queryAccessibleInterface(widget(kIdBlink1));
    ASSERT_NE(blink, nullptr);
    EXPECT_EQ(blink->text(QAccessible::Name), u("Mrugaj"));
    ASSERT_NE(blink->actionInterface(), nullptr);
    blink->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(control<QCheckBox>(kIdBlink1)->isChecked());

    QAccessibleInterface* send = QAccessible::queryAccessibleInterface(widget(kIdSendPrices));
    ASSERT_NE(send, nullptr);
    send->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    auto queued = [&] {
        LockGuard guard(p().state.slot_lock);
        return slot_text(p().state, 3);
    };
    ASSERT_TRUE(gui::wait_for([&] { return !queued().empty(); }));
    EXPECT_EQ(queued(), "21M6.78");

    // The host's own writes are not echoed back as the operator's.
    p().ui->controls().set_checked(kPanelWindow, kIdBlink1, false, Origin::Program);
    EXPECT_FALSE(control<QCheckBox>(kIdBlink1)->isChecked());
    EXPECT_FALSE(p().ui->controls().checked(kPanelWindow, kIdBlink1));
}

TEST_F(AppGuiTest, keyboard_price_1_has_the_focus_and_menu_items_show_their_keys) {
    frame()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
    EXPECT_EQ(QApplication::focusWidget(), widget(kIdPrice1));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("5.5"));
    EXPECT_EQ(p().ui->controls().text(kPanelWindow, kIdPrice1), "5.5");

    EXPECT_EQ(host->menu_action(kCmdConnect)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_PageUp));
    EXPECT_EQ(host->menu_action(kCmdDisconnect)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_PageDown));
}

TEST_F(AppGuiTest, tray_coming_late_gets_the_icon_and_minimising_hides_only_with_it) {
    p().record->hide_on_minimize = true;
    // No tray yet: the icon waits for one, and minimising keeps the window reachable.
    ASSERT_NE(host->tray_icon(), nullptr);
    EXPECT_TRUE(host->tray_icon()->isVisible());
    EXPECT_FALSE(host->has_tray());
    frame()->showMinimized();
    QTest::qWait(100);
    EXPECT_FALSE(frame()->isHidden());

    frame()->showNormal();
    QTest::qWait(50);
    tray_up = true;  // the desktop's tray starts
    EXPECT_TRUE(host->has_tray());
    frame()->showMinimized();
    ASSERT_TRUE(gui::wait_for([&] { return frame()->isHidden(); }));

    // The icon's menu: "Pokaż" brings the window back, "Zakończ" asks first.
    QMenu* menu = host->tray_menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), u("Pokaż"));
    EXPECT_EQ(menu->actions()[1]->text(), u("Zakończ"));
    menu->actions()[0]->trigger();
    ASSERT_TRUE(gui::wait_for([&] { return frame()->isVisible() && !frame()->isMinimized(); }));

    // A tray that goes away while the window is hidden gives the window back.
    frame()->showMinimized();
    ASSERT_TRUE(gui::wait_for([&] { return frame()->isHidden(); }));
    tray_up = false;
    ASSERT_TRUE(gui::wait_for([&] { return !frame()->isHidden(); }, 5000));
    tray_up = true;
    frame()->showNormal();

    QString asked;
    answer_message(QMessageBox::Cancel, &asked);
    menu->actions()[1]->trigger();
    ASSERT_TRUE(gui::wait_for([&] { return !asked.isEmpty(); }));
    EXPECT_EQ(asked, u("Czy zamknąć program?"));
    EXPECT_NE(p().record, nullptr);
}

TEST_F(AppGuiTest, second_start_in_the_folder_raises_the_first_and_exits) {
    SingleInstance instance(QDir::currentPath());
    ASSERT_FALSE(instance.another_is_running());
    QObject::connect(&instance, &SingleInstance::raise_requested, host.get(), [this] { host->raise_main_window(); });
    frame()->showMinimized();
    QTest::qWait(50);

    auto folder_state = [] {
        QStringList files;
        for (const QFileInfo& f : QDir::current().entryInfoList(QDir::Files | QDir::Hidden))
            files << f.fileName() + u' ' + QString::number(f.size()) + u' ' + f.lastModified().toString(Qt::ISODateWithMs);
        return files;
    };
    const QStringList before = folder_state();

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(QDir::currentPath());
    second.start(QString::fromUtf8(KC_PROGRAM), {});
    ASSERT_TRUE(second.waitForStarted(5000));
    bool ended = gui::wait_for([&] { return second.state() == QProcess::NotRunning; }, 15000);
    if (!ended) second.kill();
    ASSERT_TRUE(ended) << "the second program kept running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(gui::wait_for([&] { return !frame()->isMinimized(); }));
    EXPECT_TRUE(frame()->isVisible());
    // It left without creating or rewriting any file of the folder.
    EXPECT_EQ(folder_state(), before);
}

}  // namespace
}  // namespace kc
