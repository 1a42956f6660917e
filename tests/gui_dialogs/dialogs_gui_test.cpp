// GUI tests (settings dialogs): each dialog opened from the menu of the program in test
// mode, a value changed and confirmed, and the settings file and the panel checked. A
// screenshot of each dialog is saved beside the test binary.
#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeySequence>
#include <QMenuBar>
#include <QColorDialog>
#include <QAbstractButton>
#include <QCheckBox>
#include <QSet>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "state/state.h"
#include "resources/dialog_ids.h"
#include "gui/gui_support.h"
#include "panel/control_panel.h"
#include "hosts/qt/qt_host.h"
#include "hosts/qt/qt_screenshot.h"
#include "hosts/qt/qt_text.h"
#include "hosts/qt/qt_widgets.h"
#include "resources/head_office_ids.h"
#include "text/format_text.h"
#include "resources/texts.h"
#include "resources/command_ids.h"
#include "support/fake_port_discovery.h"

namespace kc {
namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class DialogsGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::app();
        ASSERT_TRUE(work_.isValid());
        old_directory_ = std::filesystem::current_path();
        std::filesystem::current_path(work_.path().toStdString());
        host = std::make_unique<QtHost>();
        program = std::make_unique<Program>();
        program->ui = host.get();
        program->describe_port = [](int n) { return "/dev/ttyS" + std::to_string(n - 1); };
        main_window = std::make_unique<MainWindow>(*program);
        panel = std::make_unique<ControlPanel>(*program);
        ASSERT_TRUE(host->create_main_window(*main_window));
        ASSERT_TRUE(host->create_panel(*panel));
        host->show_window(kMainWindow, ShowMode::Normal);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host->window_widget(kMainWindow)));
    }

    void TearDown() override {
        if (program && program->record) host->destroy_main_window();
        main_window.reset();
        panel.reset();
        host.reset();
        program.reset();
        std::filesystem::current_path(old_directory_);
    }

    Program& p() { return *program; }
    template <class W>
    W* control(WindowId window, int id) {
        W* w = qobject_cast<W*>(host->control_widget(window, id));
        EXPECT_NE(w, nullptr) << window << "/" << id;
        return w;
    }
    void click(WindowId window, int id) { QTest::mouseClick(host->control_widget(window, id), Qt::LeftButton); }
    void retype(WindowId window, int id, const char* text) {
        QLineEdit* edit = control<QLineEdit>(window, id);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        gui::type_text(edit, u(text));
    }
    void screenshot(WindowId window, const char* name) {
        QWidget* w = host->window_widget(window);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w));
        EXPECT_TRUE(host->save_screenshot(window, std::string(KC_SCREENSHOT_DIR) + "/" + name + ".png"));
    }
    // Opens `command` from the menu, runs `action` once its dialog is up, and waits until
    // every modal window is gone again.
    void open(int command, std::function<void(QWidget*)> action) {
        auto acted = std::make_shared<bool>(false);
        gui::when_modal([action, acted](QWidget* modal) {
            *acted = true;
            action(modal);
        });
        host->menu_action(command)->trigger();
        ASSERT_TRUE(gui::wait_for([acted] { return *acted && QApplication::activeModalWidget() == nullptr; }));
    }
    // Answers the next message box with OK after recording its text.
    void answer_message(QString* text) {
        gui::when_modal([text](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            *text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
    }
    std::vector<std::string> settings_lines() {
        std::vector<std::string> lines{""};
        std::ifstream in(work_.path().toStdString() + "/KavorCen.ini");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    std::unique_ptr<QtHost> host;
    std::unique_ptr<Program> program;
    std::unique_ptr<MainWindow> main_window;
    std::unique_ptr<ControlPanel> panel;

private:
    QTemporaryDir work_;
    std::filesystem::path old_directory_;
};

// What a screen reader or UI automation meets in one window, walked through the
// accessibility interface: controls without a name, texts cut off without "…", and
// two controls that answer the same Alt letter.
class AccessibilityWalk {
public:
    explicit AccessibilityWalk(QWidget* window) : window_(window) {
        if (auto* frame = qobject_cast<QMainWindow*>(window))
            for (QAction* menu : frame->menuBar()->actions()) take_letter(menu->text(), "menu");
        visit(QAccessible::queryAccessibleInterface(window), 0);
    }
    const QStringList& faults() const { return faults_; }
    int visited() const { return visited_; }

private:
    void visit(QAccessibleInterface* node, int depth) {
        if (!node || depth > 12) return;
        for (int i = 0; i < node->childCount(); ++i) {
            QAccessibleInterface* child = node->child(i);
            if (!child || child->state().invisible) continue;
            auto* w = qobject_cast<QWidget*>(child->object());
            if (w && !w->isVisibleTo(window_)) continue;
            check(child, w);
            QAccessible::Role role = child->role();
            if (role != QAccessible::ComboBox && role != QAccessible::List && role != QAccessible::EditableText)
                visit(child, depth + 1);
        }
    }
    void check(QAccessibleInterface* node, QWidget* w) {
        ++visited_;
        const QString name = node->text(QAccessible::Name);
        const QString where = w ? w->objectName() + " " + w->metaObject()->className() : QStringLiteral("?");
        switch (node->role()) {
            case QAccessible::PushButton:
            case QAccessible::CheckBox:
            case QAccessible::EditableText:
            case QAccessible::List:
            case QAccessible::Grouping:
                if (name.trimmed().isEmpty()) faults_ << "no name: " + where;
                break;
            case QAccessible::ComboBox:
                // Named by its label, not by the entry it shows.
                if (name.trimmed().isEmpty() || name == node->text(QAccessible::Value))
                    faults_ << "combo box named \"" + name + "\" by its value: " + where;
                break;
            default: break;
        }
        if (!w) return;
        const QFontMetrics fm(w->font());
        if (auto* label = qobject_cast<QtStatic*>(w)) {
            take_letter(label->text(), where);
            QRect need = fm.boundingRect(label->contentsRect(),
                                         static_cast<int>(label->alignment()) | Qt::TextWordWrap | Qt::TextShowMnemonic,
                                         label->text());
            bool fits = need.height() <= label->height() && need.width() <= label->width();
            QString whole = without_mnemonic(label->text());
            if (!fits && (label->toolTip() != whole || !label->shown_text().contains(u'…')))
                faults_ << "cut without \"…\": " + where + " \"" + whole + "\"";
            // A text of the window's own layout must fit whole; only changing texts may be shortened.
            if (!fits && w->objectName().isEmpty()) faults_ << "fixed text does not fit: \"" + whole + "\"";
            if (name != whole && !label->text().isEmpty()) faults_ << "label not read whole: " + where;
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            take_letter(box->text(), where);
            if (box->sizeHint().width() > box->width()) faults_ << "cut: " + where + " \"" + box->text() + "\"";
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            take_letter(button->text(), where);
            if (fm.horizontalAdvance(without_mnemonic(button->text())) + 8 > button->width())
                faults_ << "cut: " + where + " \"" + button->text() + "\"";
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            take_letter(group->title(), where);
            if (fm.horizontalAdvance(without_mnemonic(group->title())) + 16 > group->width())
                faults_ << "cut: " + where + " \"" + group->title() + "\"";
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            if (fm.horizontalAdvance(combo->currentText()) + 40 > combo->width() && combo->toolTip() != combo->currentText())
                faults_ << "cut without a tooltip: " + where + " \"" + combo->currentText() + "\"";
        }
    }
    void take_letter(const QString& text, const QString& where) {
        QKeySequence key = QKeySequence::mnemonic(text);
        if (key.isEmpty()) return;
        QString letter = key.toString();
        if (letters_.contains(letter))
            faults_ << letter + " twice: " + letters_[letter] + " and " + where;
        else
            letters_[letter] = where;
    }

    QWidget* window_;
    QStringList faults_;
    QMap<QString, QString> letters_;
    int visited_ = 0;
};

TEST_F(DialogsGuiTest, every_window_names_its_controls_cuts_no_text_and_gives_each_alt_letter_once) {
    // The head office lines at their longest, and a device whose name is long.
    std::string long_link = format_text(txt(Txt::HoLinkUnreachable), "centrala.example.net:8883", txt(Txt::HoErrTls));
    long_link.replace(long_link.find("%d"), 2, "30");
    host->controls().set_visible(kPanelWindow, kIdHeadOfficeGroup, true);
    host->controls().set_visible(kPanelWindow, kIdHeadOfficeLink, true);
    host->controls().set_visible(kPanelWindow, kIdHeadOfficeChange, true);
    set_panel_text(p(), kIdHeadOfficeLink, long_link);
    set_panel_text(p(), kIdHeadOfficeChange,
                   format_text(txt(Txt::HoLinkOff), format_text(txt(Txt::HoPasswordFileOpen),
                                                                "/home/stacja/.config/kavorcen/centrala.haslo")));
    auto discovery = std::make_shared<test::FakePortDiscovery>();
    discovery->ports = {test::builtin_port(), test::usb_adapter()};
    discovery->ports[1].model = "FT232R USB UART z bardzo długą nazwą modelu od producenta";
    discovery->links[1] = discovery->ports[1].by_id;
    p().discovery = discovery;

    QApplication::processEvents();
    AccessibilityWalk main(host->window_widget(kMainWindow));
    EXPECT_GT(main.visited(), 20);
    EXPECT_TRUE(main.faults().isEmpty()) << main.faults().join(u'\n').toStdString();
    screenshot(kMainWindow, "walk_main_window");

    const std::pair<int, WindowId> dialogs[] = {
        {kCmdAbout, kDialogAbout},
        {kCmdTransmission, kDialogTransmission},
        {kCmdLight, kDialogLight},
        {kCmdScrollSpeed, kDialogScrollSpeed},
        {kCmdProgramSettings, kDialogProgramSettings},
        {kCmdPriceSchedule, kDialogPriceSchedule},
        {kCmdPriceHistory, kDialogPriceHistory},
        {kCmdUnattended, kDialogUnattended},
        {kCmdCentrala, kDialogCentrala},
    };
    for (auto [command, window] : dialogs) {
        open(command, [&, window = window](QWidget* dialog) {
            QApplication::processEvents();
            AccessibilityWalk walk(dialog);
            EXPECT_GT(walk.visited(), 2) << window;
            EXPECT_TRUE(walk.faults().isEmpty()) << window << ":\n" << walk.faults().join(u'\n').toStdString();
            screenshot(window, ("walk_dialog_" + std::to_string(window)).c_str());
            click(window, host->control_widget(window, kIdCancel) ? kIdCancel : kIdOk);
        });
    }

    // A message box wraps at blanks only: "(Urządzenie :)." and "(nie mruga)" stay whole.
    const std::string text = txt(Txt::ConnMissing) + "\n" + txt(Txt::ConnPickDevice) + "\n" +
                             utf8_to_cp1250("Cena 2 (BBB): wysłano 4.59 (nie mruga), wieża pokazuje 4.69 (mruga)");
    QString shown;
    gui::when_modal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        save_widget_png(box, std::string(KC_SCREENSHOT_DIR) + "/walk_message_box.png");
        box->button(QMessageBox::Ok)->click();
    });
    host->message_box(kMainWindow, text, txt(Txt::CaptionError), MessageButtons::Ok, MessageIcon::Exclamation);
    EXPECT_TRUE(shown.contains(u("transmisji”\u00a0(Urządzenie\u00a0:).")));
    EXPECT_TRUE(shown.contains(u("4.59\u00a0(nie\u00a0mruga)"))) << shown.toStdString();
}

TEST_F(DialogsGuiTest, transmission_choice_from_the_menu_reaches_the_file) {
    constexpr WindowId W = kDialogTransmission;
    open(kCmdTransmission, [&](QWidget*) {
        QComboBox* ports = control<QComboBox>(W, kIdPortList);
        EXPECT_EQ(ports->count(), 10);
        EXPECT_EQ(ports->itemText(0), u("COM1  (/dev/ttyS0)"));
        QComboBox* parity = control<QComboBox>(W, kIdParityList);
        EXPECT_EQ(parity->currentText(), u("None"));
        parity->setFocus();
        QTest::keyClick(parity, Qt::Key_Down);  // "Even"
        screenshot(W, "dialog_101_transmission");
        click(W, kIdOk);
    });
    EXPECT_EQ(p().record->parity, 2);
    EXPECT_EQ(settings_lines().at(4), "2");
}

TEST_F(DialogsGuiTest, transmission_device_choice_writes_the_port_link) {
    constexpr WindowId W = kDialogTransmission;
    auto discovery = std::make_shared<test::FakePortDiscovery>();
    discovery->ports = {test::builtin_port(), test::usb_adapter()};
    p().discovery = discovery;
    open(kCmdTransmission, [&](QWidget*) {
        QComboBox* devices = control<QComboBox>(W, kIdDeviceList);
        ASSERT_EQ(devices->count(), 2);  // ttyS0 is COM1's built-in port, listed once
        EXPECT_EQ(devices->itemText(1), u("FTDI FT232R USB UART, nr A1B2C3 (/dev/ttyUSB0)"));
        EXPECT_EQ(devices->currentIndex(), 0);
        EXPECT_TRUE(control<QAbstractButton>(W, kIdReconnect)->isChecked());
        devices->setFocus();
        QTest::keyClick(devices, Qt::Key_Down);
        click(W, kIdOk);
    });
    EXPECT_EQ(discovery->links[1], test::usb_adapter().by_id);
}

TEST_F(DialogsGuiTest, light_dialog_paints_its_swatches_and_takes_enter_as_ok) {
    constexpr WindowId W = kDialogLight;
    open(kCmdLight, [&](QWidget* dialog) {
        EXPECT_EQ(control<QLineEdit>(W, kIdPriceLowLevel)->alignment() & Qt::AlignRight, Qt::AlignRight);
        screenshot(W, "dialog_102_light");
        // Each swatch shows its price's colour: yellow for price 2, blue for price 5.
        QWidget* yellow = host->control_widget(W, kIdSwatchLow1 + 1);
        QWidget* blue = host->control_widget(W, kIdSwatchHigh1 + 4);
        QImage picture = dialog->grab().toImage();
        EXPECT_EQ(picture.pixelColor(yellow->geometry().center()), QColor(255, 255, 0));
        EXPECT_EQ(picture.pixelColor(blue->geometry().center()), QColor(0, 0, 255));
        retype(W, kIdPriceLowLevel, "10");
        QTest::keyClick(control<QLineEdit>(W, kIdPriceLowLevel), Qt::Key_Return);
    });
    EXPECT_EQ(p().state.light_settings[kPriceLowLevel], 10);
    EXPECT_EQ(settings_lines().at(17), "10");
    EXPECT_EQ(p().state.slot_cursor, 0) << "Enter sends nothing";
}

TEST_F(DialogsGuiTest, light_send_in_test_mode_warns_that_there_is_no_connection) {
    QString message;
    open(kCmdLight, [&](QWidget*) {
        answer_message(&message);
        click(kDialogLight, kIdSend);
    });
    EXPECT_EQ(message, u("Nie połączony !"));
}

TEST_F(DialogsGuiTest, scroll_speed_from_the_menu_reaches_the_file) {
    constexpr WindowId W = kDialogScrollSpeed;
    QAction* item = host->menu_action(kCmdScrollSpeed);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text().remove('&'), u("Szybkość przewijania"));
    open(kCmdScrollSpeed, [&](QWidget*) {
        EXPECT_EQ(control<QLineEdit>(W, kIdScrollSpeed1)->text(), u("20"));
        retype(W, kIdScrollSpeed1, "50");
        screenshot(W, "dialog_103_scroll_speed");
        click(W, kIdOk);
    });
    EXPECT_EQ(p().state.scroll_speed[0], 50);
    EXPECT_EQ(settings_lines().at(11), "50");
}

TEST_F(DialogsGuiTest, program_settings_colour_and_caption_reach_the_panel_and_the_file) {
    constexpr WindowId W = kDialogProgramSettings;
    QString refused;
    open(kCmdProgramSettings, [&](QWidget* dialog) {
        // The chooser opens on white; pick red for row 2.
        gui::when_modal([](QWidget* modal) {
            auto* chooser = qobject_cast<QColorDialog*>(modal);
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(chooser->currentColor(), QColor(255, 255, 255));
            chooser->setCurrentColor(QColor(255, 0, 0));
            chooser->accept();
        });
        click(W, caption_color_id(2));
        ASSERT_TRUE(gui::wait_for([&] { return QApplication::activeModalWidget() == dialog; }));
        QWidget* button = host->control_widget(W, caption_color_id(2));
        ASSERT_TRUE(gui::wait_for([&] {
            return dialog->grab().toImage().pixelColor(button->geometry().center()) == QColor(255, 0, 0);
        }));

        // A blank caption is refused and the dialog stays open.
        retype(W, caption_edit_id(2), "ON 2");
        answer_message(&refused);
        click(W, kIdOk);
        ASSERT_TRUE(gui::wait_for([&] { return !refused.isEmpty() && QApplication::activeModalWidget() == dialog; }));

        retype(W, caption_edit_id(2), "ON");
        screenshot(W, "dialog_104_program_settings");
        click(W, kIdOk);
    });
    EXPECT_EQ(refused, u("Opis ceny 2 nie może być pusty ani zawierać spacji."));
    EXPECT_EQ(control<QLabel>(kPanelWindow, kIdCaption1 + 1)->text(), u("ON"));
    EXPECT_EQ(p().state.price_label_colors[1], 255u);
    auto lines = settings_lines();
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[33], "ON");
    EXPECT_EQ(lines[34], "255");
}

TEST_F(DialogsGuiTest, price_schedule_from_the_menu_adds_a_change_to_its_file_and_the_history_opens) {
    constexpr WindowId W = kDialogPriceSchedule;
    open(kCmdPriceSchedule, [&](QWidget*) {
        retype(W, kIdScheduleTime, "06:00");
        retype(W, kIdSchedulePrice1, "4.59");
        click(W, kIdScheduleBlink1);
        click(W, kIdScheduleAdd);
        auto* list = control<QListWidget>(W, kIdScheduleList);
        EXPECT_EQ(list->count(), 1);
        EXPECT_EQ(list->accessibleName(), u("Zaplanowane zmiany"));  // named after its label, without the colon
        screenshot(W, "dialog_141_price_schedule");
        click(W, kIdCancel);
    });
    std::ifstream in(std::string(p().state.work_directory) + "/KavorHarmonogram.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("codziennie;06:00:00;4.59;;;;;M----"), std::string::npos) << text;
    open(kCmdPriceHistory, [&](QWidget*) {
        screenshot(kDialogPriceHistory, "dialog_140_price_history");
        click(kDialogPriceHistory, kIdCancel);
    });
}

// A registration that only remembers, so the box can be ticked without a desktop.
class RememberedAutostart : public Autostart {
public:
    bool is_set() override { return on; }
    std::error_code set(bool wanted) override {
        on = wanted;
        return {};
    }
    std::string where() override { return "autostart"; }
    bool on = false;
};

TEST_F(DialogsGuiTest, unattended_work_names_every_control_and_keeps_its_choices) {
    constexpr WindowId W = kDialogUnattended;
    auto autostart = std::make_shared<RememberedAutostart>();
    p().autostart = autostart;
    open(kCmdUnattended, [&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), u("Praca bez obsługi"));
        const std::pair<int, const char*> named[] = {
            {kIdConnectAtStart, "Łącz z wieżą przy starcie"},
            {kIdStartAtLogin, "Uruchamiaj przy logowaniu"},
            {kIdSignWatch, "Sprawdzaj wieżę co"},
            {kIdSignWatchMinutes, "Sprawdzaj wieżę co (min)"},
            {kIdRestorePrices, "Przywracaj potwierdzone ceny"},
            {kIdOk, "Ok"},
            {kIdCancel, "Anuluj"},
        };
        QSet<QChar> letters;
        for (const auto& [id, name] : named) {
            QWidget* w = host->control_widget(W, id);
            ASSERT_NE(w, nullptr) << id;
            EXPECT_EQ(w->accessibleName(), u(name)) << id;
            if (auto* box = qobject_cast<QCheckBox*>(w)) {
                const QString text = box->text();
                const qsizetype amp = text.indexOf(u'&');
                ASSERT_GE(amp, 0) << name << ": no Alt letter";
                EXPECT_FALSE(letters.contains(text[amp + 1].toLower())) << name << ": Alt letter taken";
                letters.insert(text[amp + 1].toLower());
            }
        }
        EXPECT_EQ(control<QLineEdit>(W, kIdSignWatchMinutes)->text(), u("10"));
        // On the box itself: a Qt check box takes clicks on its box and text only.
        for (int id : {kIdConnectAtStart, kIdStartAtLogin, kIdSignWatch}) {
            QWidget* box = host->control_widget(W, id);
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        }
        retype(W, kIdSignWatchMinutes, "15");
        screenshot(W, "dialog_142_unattended");
        click(W, kIdOk);
    });
    EXPECT_TRUE(p().extra.get_bool(extra_key::kConnectAtStart, false));
    EXPECT_EQ(sign_watch_period_minutes(p().extra), 15);
    EXPECT_FALSE(p().extra.get_bool(extra_key::kRestorePrices, true));
    EXPECT_TRUE(autostart->on);
    EXPECT_EQ(settings_lines().size(), 41u) << "KavorCen.ini keeps its 40 lines";
}

// A password store in memory: the test looks at what the dialog handed it.
class MemoryPasswords : public PasswordStore {
public:
    bool save(const std::string& path, const std::string& password, std::string&) override {
        kept[path] = password;
        return true;
    }
    bool load(const std::string& path, std::string& password, std::string& why) override {
        if (!kept.count(path)) {
            why = "brak";
            return false;
        }
        password = kept[path];
        return true;
    }
    std::map<std::string, std::string> kept;
};

TEST_F(DialogsGuiTest, centrala_names_every_control_masks_the_password_and_shows_the_check_in_the_dialog) {
    constexpr WindowId W = kDialogCentrala;
    auto passwords = std::make_shared<MemoryPasswords>();
    p().passwords = passwords;
    const std::string ca = (std::filesystem::current_path() / "ca.crt").string();
    std::ofstream(ca) << "CA\n";
    p().check_head_office = [](const HeadOfficeCheckRequest& r, const std::atomic<bool>&) {
        return HeadOfficeCheckResult{r.password == "tajne-haslo" ? HeadOfficeCheckOutcome::NotAuthorised
                                                                  : HeadOfficeCheckOutcome::LoginRefused,
                                     ""};
    };
    open(kCmdCentrala, [&](QWidget* dialog) {
        EXPECT_EQ(dialog->windowTitle(), u("Centrala"));
        const std::pair<int, const char*> named[] = {
            {kIdHoBroker, "Adres serwera (HOST:PORT)"},
            {kIdHoStation, "Identyfikator stacji"},
            {kIdHoUser, "Użytkownik"},
            {kIdHoPassword, "Hasło"},
            {kIdHoCaFile, "Plik CA serwera"},
            {kIdHoChooseCa, "Plik CA serwera…"},
            {kIdHoCheck, "Sprawdź połączenie"},
            {kIdOk, "Ok"},
            {kIdCancel, "Anuluj"},
        };
        for (const auto& [id, name] : named) {
            QWidget* w = host->control_widget(W, id);
            ASSERT_NE(w, nullptr) << id;
            EXPECT_EQ(w->accessibleName(), u(name)) << id;
        }
        EXPECT_EQ(control<QLineEdit>(W, kIdHoPassword)->echoMode(), QLineEdit::Password);
        retype(W, kIdHoBroker, "centrala.stacje-paliw.example.pl:8883");
        retype(W, kIdHoStation, "stacja-0042");
        retype(W, kIdHoUser, "stacja-0042");
        retype(W, kIdHoPassword, "tajne-haslo");
        retype(W, kIdHoCaFile, ca.c_str());
        click(W, kIdHoCheck);
        const QString expected = qt_text(fill(Txt::CheckNotAuthorised, "stacja-0042", "stacja-0042"));
        auto* result = control<QLabel>(W, kIdHoCheckResult);
        EXPECT_TRUE(gui::wait_for([&] { return result->text() == expected; })) << result->text().toStdString();
        EXPECT_TRUE(host->control_widget(W, kIdHoCheck)->isEnabled());
        QApplication::processEvents();
        AccessibilityWalk walk(dialog);
        EXPECT_TRUE(walk.faults().isEmpty()) << walk.faults().join(u'\n').toStdString();
        screenshot(W, "dialog_143_centrala");
        click(W, kIdOk);
    });
    EXPECT_EQ(p().extra.get(extra_key::kHeadOfficeStation), "stacja-0042");
    EXPECT_EQ(p().extra.get(extra_key::kHeadOfficeCaFile), ca);
    ASSERT_EQ(passwords->kept.size(), 1u);
    EXPECT_EQ(passwords->kept.begin()->second, "tajne-haslo");
    EXPECT_EQ(p().extra.get(extra_key::kHeadOfficePasswordFile), passwords->kept.begin()->first);
}

TEST_F(DialogsGuiTest, about_box_closes_with_escape_and_with_the_close_box) {
    constexpr WindowId W = kDialogAbout;
    for (bool escape : {true, false}) {
        bool closed = false;
        open(kCmdAbout, [&](QWidget* dialog) {
            EXPECT_EQ(control<QLabel>(W, kIdAboutVersion)->text(), u("Kavor Cen :  ver.1.3.5"));
            if (escape) screenshot(W, "dialog_100_about");
            if (escape)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->close();  // the close box
            closed = QTest::qWaitFor([&] { return QApplication::activeModalWidget() != dialog; }, 5000);
            if (!closed) click(W, kIdOk);
        });
        EXPECT_TRUE(closed) << (escape ? "Escape" : "the close box");
    }
}

}  // namespace
}  // namespace kc
