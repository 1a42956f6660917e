// GUI tests: dialogs built from templates, the control store mirror, keys and message boxes.
#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "gui/gui_support.h"
#include "gui/test_procedure.h"
#include "hosts/qt/qt_host.h"
#include "text/cp1250.h"

namespace kc {
namespace {

using gui::kTestDialog;
using gui::TestProcedure;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }
std::string cp(const char* utf8) { return utf8_to_cp1250(utf8); }

class QtDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::app();
        host = std::make_unique<QtHost>();
        host->find_template = gui::test_templates;
    }
    template <class W>
    W* control(int id) {
        return qobject_cast<W*>(host->control_widget(kTestDialog, id));
    }
    std::unique_ptr<QtHost> host;
};

TEST_F(QtDialogTest, dialog_is_built_from_its_template_with_kinds_texts_and_flags) {
    TestProcedure proc;
    proc.init = [&] {
        QWidget* dialog = host->window_widget(kTestDialog);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), u("Próba"));
        EXPECT_EQ(dialog->size(), QSize(300, 220));

        auto* label = control<QLabel>(602);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), u("Zażółć gęślą jaźń"));
        EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
        EXPECT_EQ(host->controls().text(kTestDialog, 602), cp("Zażółć gęślą jaźń"));

        auto* edit = control<QLineEdit>(601);
        ASSERT_NE(edit, nullptr);
        EXPECT_TRUE(edit->alignment() & Qt::AlignRight);
        EXPECT_EQ(edit->geometry(), QRect(90, 50, 110, 24));

        auto* combo = control<QComboBox>(544);
        ASSERT_NE(combo, nullptr);
        EXPECT_LT(combo->height(), 100) << "the list's drop-down height is not the control's";

        ASSERT_NE(control<QCheckBox>(603), nullptr);
        EXPECT_EQ(control<QCheckBox>(603)->text(), u("Mrugaj"));
        auto* owner_drawn = control<QAbstractButton>(604);
        ASSERT_NE(owner_drawn, nullptr);
        EXPECT_EQ(qobject_cast<QPushButton*>(owner_drawn), nullptr);
        ASSERT_NE(control<QPushButton>(605), nullptr);
        EXPECT_EQ(control<QPushButton>(605)->text(), u("Wyślij"));

        EXPECT_TRUE(control<QLabel>(606)->isHidden());
        EXPECT_FALSE(host->controls().visible(kTestDialog, 606));
        ASSERT_NE(control<QPushButton>(kIdOk), nullptr);
        EXPECT_TRUE(control<QPushButton>(kIdOk)->isHidden());
        EXPECT_TRUE(control<QPushButton>(kIdOk)->isDefault());
        EXPECT_FALSE(control<QPushButton>(kIdCancel)->isHidden());

        bool group = false, icon = false;
        for (auto* box : dialog->findChildren<QGroupBox*>()) group |= box->title() == u("Właściwości");
        for (auto* l : dialog->findChildren<QLabel*>()) icon |= !l->pixmap().isNull() && l->pixmap().width() == 32;
        EXPECT_TRUE(group);
        EXPECT_TRUE(icon);
        host->end_dialog(kTestDialog, 7);  // during initialisation: the dialog never shows
    };
    EXPECT_EQ(host->run_dialog(kTestDialog, proc), 7);
    EXPECT_EQ(proc.inits, 1);
    EXPECT_EQ(proc.destroys, 1);
    EXPECT_EQ(host->window_widget(kTestDialog), nullptr);
    EXPECT_EQ(host->control_widget(kTestDialog, 601), nullptr);
}

TEST_F(QtDialogTest, enter_escape_and_close_box_reach_the_procedure_like_a_dialog_manager) {
    TestProcedure proc;
    proc.command = [&](int id) {
        if (id == 605) host->end_dialog(kTestDialog, 605);
    };
    gui::when_modal([&](QWidget* dialog) {
        QLineEdit* edit = control<QLineEdit>(601);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);  // the hidden default button still takes Enter
        QTest::keyClick(edit, Qt::Key_Escape);
        dialog->close();
        EXPECT_TRUE(dialog->isVisible()) << "Escape and the close box leave closing to the procedure";
        host->controls().set_enabled(kTestDialog, kIdOk, false);
        QTest::keyClick(edit, Qt::Key_Return);  // a greyed default button takes none
        QPushButton* send = control<QPushButton>(605);
        send->setFocus();
        QTest::keyClick(send, Qt::Key_Return);  // a focused button takes Enter itself
    });
    EXPECT_EQ(host->run_dialog(kTestDialog, proc), 605);
    EXPECT_EQ(proc.commands, (std::vector<int>{kIdOk, kIdCancel, kIdCancel, 605}));
    EXPECT_EQ(proc.destroys, 1);
}

TEST_F(QtDialogTest, operator_edits_reach_the_store_as_windows_1250) {
    TestProcedure proc;
    proc.init = [&] {
        host->controls().add_item(kTestDialog, 544, "COM1", 1);
        host->controls().add_item(kTestDialog, 544, "COM2", 2);
        host->controls().set_selection(kTestDialog, 544, 0);
    };
    gui::when_modal([&](QWidget*) {
        QLineEdit* edit = control<QLineEdit>(601);
        gui::type_text(edit, u("4,ł✓"));
        EXPECT_EQ(host->controls().text(kTestDialog, 601), cp("4,ł?"));
        EXPECT_EQ(edit->text(), u("4,ł?")) << "a character the code page lacks shows as the core keeps it";

        QCheckBox* check = control<QCheckBox>(603);
        QTest::mouseClick(check, Qt::LeftButton);
        EXPECT_TRUE(host->controls().checked(kTestDialog, 603));
        EXPECT_EQ(proc.count(603), 1) << "a ticked box is a command of its own id";

        QComboBox* combo = control<QComboBox>(544);
        ASSERT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->currentIndex(), 0);
        QTest::keyClick(combo, Qt::Key_Down);
        EXPECT_EQ(host->controls().selection(kTestDialog, 544), 1);
        EXPECT_EQ(host->controls().item_data(kTestDialog, 544, 1), 2u);
        host->end_dialog(kTestDialog, 1);
    });
    EXPECT_EQ(host->run_dialog(kTestDialog, proc), 1);
}

TEST_F(QtDialogTest, list_box_mirrors_its_items_and_a_selection_is_a_command) {
    TestProcedure proc;
    proc.init = [&] {
        host->controls().add_item(kTestDialog, 607, cp("2026-12-24 00:00:00  1: 4.59"));
        host->controls().add_item(kTestDialog, 607, cp("codziennie 06:00:00  1: 5.19"));
    };
    gui::when_modal([&](QWidget*) {
        auto* list = control<QListWidget>(607);
        ASSERT_NE(list, nullptr);
        ASSERT_EQ(list->count(), 2);
        EXPECT_EQ(list->item(1)->text(), u("codziennie 06:00:00  1: 5.19"));
        list->setCurrentRow(1);
        EXPECT_EQ(host->controls().selection(kTestDialog, 607), 1);
        EXPECT_EQ(proc.count(607), 1);
        host->controls().clear_items(kTestDialog, 607);
        EXPECT_TRUE(gui::wait_for([&] { return list->count() == 0; }));
        host->end_dialog(kTestDialog, 1);
    });
    host->run_dialog(kTestDialog, proc);
}

TEST_F(QtDialogTest, worker_thread_changes_reach_the_widgets_without_waiting_for_the_ui_thread) {
    TestProcedure proc;
    gui::when_modal([&](QWidget*) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            ControlStore& s = host->controls();
            s.set_text(kTestDialog, 602, cp("Nowy tekst: źdźbło"));
            s.set_text(kTestDialog, 601, "1.23");
            s.set_checked(kTestDialog, 603, true);
            s.set_enabled(kTestDialog, 605, false);
            s.set_visible(kTestDialog, 606, true);
            s.add_item(kTestDialog, 544, cp("Żółty"));
            s.add_item(kTestDialog, 544, "Czerwony");
            s.set_selection(kTestDialog, 544, 1);
            host->set_timer(kTestDialog, 9, 10);
            host->invalidate_all(kTestDialog);
            host->post_command(kTestDialog, 77);
            done = true;
        });
        // The UI thread processes nothing meanwhile: a host that waited for it would stall.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (!done && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        EXPECT_TRUE(done);
        worker.join();

        EXPECT_TRUE(gui::wait_for([&] { return control<QLabel>(602)->text() == u("Nowy tekst: źdźbło"); }));
        EXPECT_EQ(control<QLineEdit>(601)->text(), u("1.23"));
        EXPECT_TRUE(control<QCheckBox>(603)->isChecked());
        EXPECT_FALSE(control<QPushButton>(605)->isEnabled());
        EXPECT_FALSE(control<QLabel>(606)->isHidden());
        EXPECT_EQ(control<QComboBox>(544)->count(), 2);
        EXPECT_EQ(control<QComboBox>(544)->itemText(0), u("Żółty"));
        EXPECT_EQ(control<QComboBox>(544)->currentIndex(), 1);
        EXPECT_EQ(control<QPushButton>(605)->accessibleName(), u("Wyślij"));
        EXPECT_TRUE(gui::wait_for([&] { return proc.count(77) == 1 && !proc.timers.empty(); }));
        host->end_dialog(kTestDialog, 1);
    });
    host->run_dialog(kTestDialog, proc);
    EXPECT_EQ(host->timer_period(kTestDialog, 9), -1) << "a closed dialog's timers stop";
}

TEST_F(QtDialogTest, timers_fire_restart_with_a_new_period_and_stop) {
    TestProcedure proc;
    gui::when_modal([&](QWidget*) {
        host->set_timer(kTestDialog, 4, 0);
        EXPECT_EQ(host->timer_period(kTestDialog, 4), 10) << "a period of 0 is the platform minimum";
        EXPECT_TRUE(gui::wait_for([&] { return proc.timers.size() >= 3; }));
        host->set_timer(kTestDialog, 4, 30);
        EXPECT_EQ(host->timer_period(kTestDialog, 4), 30);
        size_t seen = proc.timers.size();
        EXPECT_TRUE(gui::wait_for([&] { return proc.timers.size() > seen; }));
        host->kill_timer(kTestDialog, 4);
        EXPECT_EQ(host->timer_period(kTestDialog, 4), -1);
        seen = proc.timers.size();
        QTest::qWait(80);
        EXPECT_EQ(proc.timers.size(), seen);
        for (int id : proc.timers) EXPECT_EQ(id, 4);
        host->end_dialog(kTestDialog, 1);
    });
    host->run_dialog(kTestDialog, proc);
}

TEST_F(QtDialogTest, statics_ask_for_colours_at_every_paint_and_owner_drawn_buttons_paint_through_a_canvas) {
    TestProcedure proc;
    Color background = rgb(180, 180, 180);
    Rect drawn_item;
    proc.colors = [&](int id, StaticColors& c) {
        if (id != 602) return false;
        c.background = background;
        c.text = rgb(0, 0, 255);
        return true;
    };
    proc.draw = [&](int id, Canvas& canvas, const Rect& item) {
        EXPECT_EQ(id, 604);
        drawn_item = item;
        canvas.fill_rect(item, rgb(255, 0, 0));
    };
    gui::when_modal([&](QWidget*) {
        QLabel* label = control<QLabel>(602);
        EXPECT_EQ(label->grab().toImage().pixelColor(1, 1), QColor(180, 180, 180));
        background = rgb(0, 200, 0);
        EXPECT_EQ(label->grab().toImage().pixelColor(1, 1), QColor(0, 200, 0));

        QWidget* swatch = control<QAbstractButton>(604);
        QImage face = swatch->grab().toImage();
        EXPECT_EQ(drawn_item, (Rect{0, 0, 24, 24}));
        EXPECT_EQ(face.pixelColor(12, 12), QColor(255, 0, 0));
        QTest::mouseClick(swatch, Qt::LeftButton);
        EXPECT_EQ(proc.count(604), 1);
        host->end_dialog(kTestDialog, 1);
    });
    host->run_dialog(kTestDialog, proc);
}

TEST_F(QtDialogTest, controls_are_named_by_their_text_or_the_label_before_them) {
    TestProcedure proc;
    proc.init = [&] {
        EXPECT_EQ(control<QComboBox>(544)->accessibleName(), u("Port :"));
        EXPECT_EQ(control<QLineEdit>(601)->accessibleName(), u("Cena"));
        EXPECT_EQ(control<QCheckBox>(603)->accessibleName(), u("Mrugaj"));
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control<QPushButton>(605));
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), u("Wyślij"));
        host->controls().set_text(kTestDialog, 605, "Stop");
        EXPECT_EQ(control<QPushButton>(605)->accessibleName(), u("Stop")) << "the name follows the text";
        host->end_dialog(kTestDialog, 1);
    };
    host->run_dialog(kTestDialog, proc);
}

TEST_F(QtDialogTest, message_boxes_show_text_caption_and_icon_exactly_and_return_the_button) {
    gui::when_modal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), u("Kavor Cen"));
        EXPECT_EQ(box->text(), u("Czy zamknąć program?"));
        EXPECT_EQ(box->icon(), QMessageBox::Question);
        EXPECT_EQ(box->buttons().size(), 2);
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(host->message_box(kMainWindow, cp("Czy zamknąć program?"), "Kavor Cen", MessageButtons::OkCancel,
                                MessageIcon::Question),
              MessageResult::Cancel);

    gui::when_modal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), u("Rozłączony !     ")) << "trailing blanks are part of the text";
        EXPECT_EQ(box->windowTitle(), u("Błąd"));
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->buttons().size(), 1);
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(host->message_box(kMainWindow, cp("Rozłączony !     "), cp("Błąd"), MessageButtons::Ok,
                                MessageIcon::Exclamation),
              MessageResult::Ok);

    gui::when_modal([&](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(host->message_box(kMainWindow, "?", "Kavor Cen", MessageButtons::OkCancel, MessageIcon::Question),
              MessageResult::Cancel);
}

}  // namespace
}  // namespace kc
