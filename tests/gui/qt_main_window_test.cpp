// GUI tests: the main window, its menu and accelerators, the terminal view's scroll
// bars and the panel, closing, the first paint and screenshots.
#include <QAccessible>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <memory>
#include <thread>

#include "gui/gui_support.h"
#include "gui/test_procedure.h"
#include "hosts/qt/qt_canvas.h"
#include "hosts/qt/qt_host.h"
#include "hosts/qt/qt_screenshot.h"
#include "resources/command_ids.h"
#include "resources/icons.h"
#include "text/cp1250.h"

namespace kc {
namespace {

using gui::TestProcedure;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

class QtMainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::app();
        host = std::make_unique<QtHost>();
        main.name = "main";
        panel.name = "panel";
        main.events = panel.events = &events;
    }
    // Main window and panel, shown and active.
    void open() {
        ASSERT_TRUE(host->create_main_window(main));
        ASSERT_TRUE(host->create_panel(panel));
        host->show_window(kMainWindow, ShowMode::Normal);
        frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame()));
    }
    QMainWindow* frame() { return qobject_cast<QMainWindow*>(host->window_widget(kMainWindow)); }
    QWidget* panel_widget() { return host->window_widget(kPanelWindow); }

    std::vector<std::string> events;
    TestProcedure main, panel;
    std::unique_ptr<QtHost> host;
};

TEST_F(QtMainWindowTest, main_window_has_the_title_geometry_and_menu_of_its_template) {
    open();
    const MainWindowTemplate& t = main_window_template();
    EXPECT_EQ(frame()->windowTitle(), u("Kavor Cen"));
    EXPECT_EQ(frame()->frameGeometry(), QRect(t.x, t.y, t.width, t.height));
    EXPECT_FALSE(frame()->windowIcon().isNull());

    QList<QAction*> bar = frame()->menuBar()->actions();
    ASSERT_EQ(bar.size(), static_cast<qsizetype>(t.menu.size()));
    for (size_t i = 0; i < t.menu.size(); ++i) {
        const MenuBarEntry& entry = t.menu[i];
        EXPECT_EQ(bar[i]->text(), u(entry.text));
        if (entry.command) {
            EXPECT_EQ(bar[i]->menu(), nullptr) << "a command on the bar itself";
            EXPECT_EQ(host->menu_action(entry.command), bar[i]);
            continue;
        }
        ASSERT_NE(bar[i]->menu(), nullptr);
        QList<QAction*> items = bar[i]->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(entry.items.size()));
        for (size_t k = 0; k < entry.items.size(); ++k) {
            if (!entry.items[k].text) {
                EXPECT_TRUE(items[k]->isSeparator());
                continue;
            }
            EXPECT_EQ(items[k]->text(), u(entry.items[k].text));
            EXPECT_EQ(host->menu_action(entry.items[k].command), items[k]);
        }
    }
    EXPECT_EQ(u(t.menu[0].items[0].text), u("Połącz"));

    host->menu_action(kCmdAbout)->trigger();
    host->menu_action(kCmdTest)->trigger();
    EXPECT_TRUE(gui::wait_for([&] { return main.commands.size() == 2; }));
    EXPECT_EQ(main.commands, (std::vector<int>{kCmdAbout, kCmdTest}));
}

TEST_F(QtMainWindowTest, accelerator_does_nothing_while_its_menu_item_is_greyed) {
    open();
    // The operator's focus is in a price edit of the panel, as usual.
    QWidget* edit = panel_widget()->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(main.count(kCmdDisconnect), 1);

    host->enable_menu_item(kCmdDisconnect, false);
    EXPECT_FALSE(host->menu_action(kCmdDisconnect)->isEnabled());
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ShiftModifier);
    QTest::qWait(20);
    EXPECT_EQ(main.count(kCmdDisconnect), 1);

    QTest::keyClick(edit, Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(main.count(kCmdConnect), 1);
    host->enable_menu_item(kCmdConnect, false);
    QTest::keyClick(edit, Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(main.count(kCmdConnect), 1);

    // From a worker thread the change is posted, then takes effect.
    std::thread([&] { host->enable_menu_item(kCmdDisconnect, true); }).join();
    EXPECT_TRUE(gui::wait_for([&] { return host->menu_action(kCmdDisconnect)->isEnabled(); }));
    QTest::keyClick(edit, Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(main.count(kCmdDisconnect), 2);
}

TEST_F(QtMainWindowTest, panel_price_edits_are_named_by_their_labels) {
    open();
    for (int n = 1; n <= 5; ++n) {
        QWidget* edit = host->control_widget(kPanelWindow, price_edit_id(n));
        ASSERT_NE(edit, nullptr);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(edit);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->text(QAccessible::Name), QString::number(n) + u'.');
    }
}

TEST_F(QtMainWindowTest, scroll_bars_deliver_scroll_codes_and_follow_the_procedure) {
    open();
    QScrollBar* bar = host->scroll_bar(Orientation::Vertical);
    EXPECT_TRUE(bar->isHidden()) << "an empty range shows no bar";
    main.scroll = [&](Orientation o, int code, int) {
        // The procedure decides where the view goes: pretend it clips at 100.
        if (code == kScrollPageDown) host->set_scroll_position(kMainWindow, o, 100, true);
    };
    host->set_scroll_bar(kMainWindow, Orientation::Vertical, 0, 112, true);
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(bar->maximum(), 112);

    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar->value(), 100) << "the procedure's position wins over the bar's own step";
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    bar->setSliderDown(true);
    bar->setSliderPosition(50);
    bar->setSliderDown(false);
    std::vector<std::tuple<Orientation, int, int>> want = {
        {Orientation::Vertical, kScrollPageDown, 0}, {Orientation::Vertical, kScrollLineUp, 0},
        {Orientation::Vertical, kScrollLineDown, 0}, {Orientation::Vertical, kScrollPageUp, 0},
        {Orientation::Vertical, kScrollBottom, 0},   {Orientation::Vertical, kScrollTop, 0},
        {Orientation::Vertical, kScrollThumbTrack, 50}, {Orientation::Vertical, kScrollThumbPosition, 50}};
    EXPECT_EQ(main.scrolls, want);

    host->scroll_window(kMainWindow, 0, -30);
    EXPECT_EQ(panel_widget()->pos(), QPoint(0, -30)) << "the panel scrolls with the view";
    host->move_window(kPanelWindow, 0, 0, 2000, 1000);
    EXPECT_EQ(panel_widget()->geometry(), QRect(0, 0, 2000, 1000));
    host->set_scroll_bar(kMainWindow, Orientation::Vertical, 0, 0, true);
    EXPECT_TRUE(bar->isHidden());
}

TEST_F(QtMainWindowTest, size_minimise_and_typed_characters_reach_the_procedure) {
    open();
    ASSERT_FALSE(main.sizes.empty());
    auto [w, h, minimized] = main.sizes.back();
    EXPECT_EQ(w, frame()->width()) << "the client area is the frame less its border and menu";
    EXPECT_EQ(h, frame()->height() - frame()->menuBar()->height());
    EXPECT_FALSE(minimized);

    frame()->resize(500, 400);
    EXPECT_TRUE(gui::wait_for([&] { return std::get<0>(main.sizes.back()) == 500; }));

    frame()->showMinimized();
    EXPECT_TRUE(gui::wait_for([&] { return std::get<2>(main.sizes.back()); })) << "minimising reports minimized";
    host->show_window(kMainWindow, ShowMode::Hide);
    EXPECT_FALSE(frame()->isVisible());
    host->show_window(kMainWindow, ShowMode::Normal);
    EXPECT_TRUE(frame()->isVisible());
    EXPECT_TRUE(gui::wait_for([&] { return !std::get<2>(main.sizes.back()); }));

    QWidget* view = host->window_widget(kMainWindow)->findChild<QScrollBar*>()->parentWidget();
    view->setFocus();
    gui::type_text(view, u("ał"));
    EXPECT_EQ(main.chars, (std::vector<int>{'a', 0xB3}));
}

TEST_F(QtMainWindowTest, close_box_asks_the_procedure_and_destroys_panel_then_main) {
    open();
    main.allow_close = false;
    frame()->close();
    EXPECT_EQ(main.closes, 1);
    EXPECT_TRUE(frame()->isVisible());
    EXPECT_NE(host->window_widget(kMainWindow), nullptr);
    EXPECT_TRUE(events.empty());

    main.allow_close = true;
    host->post_close(kMainWindow);
    EXPECT_TRUE(gui::wait_for([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"panel destroyed", "main destroyed"}));
    EXPECT_EQ(host->window_widget(kMainWindow), nullptr);
    EXPECT_EQ(host->window_widget(kPanelWindow), nullptr);
}

TEST_F(QtMainWindowTest, first_paint_hook_runs_once_and_screenshots_are_written) {
    int painted = 0;
    host->on_first_paint = [&] { ++painted; };
    open();
    EXPECT_TRUE(gui::wait_for([&] { return painted == 1; }));
    host->invalidate_all(kPanelWindow);
    QTest::qWait(20);
    EXPECT_EQ(painted, 1);
    EXPECT_GE(panel.paints, 1);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string path = QDir(dir.path()).filePath("main.png").toStdString();
    ASSERT_TRUE(host->save_screenshot(kMainWindow, path));
    QImage shot(QString::fromStdString(path));
    EXPECT_EQ(shot.size(), frame()->size());
    EXPECT_FALSE(save_widget_png(nullptr, path));
    EXPECT_FALSE(host->save_screenshot(gui::kTestDialog, path)) << "no such dialog is open";
}

TEST_F(QtMainWindowTest, posted_work_runs_on_the_ui_thread_in_order_and_quit_ends_the_loop) {
    std::vector<int> order;
    bool on_ui = true;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) host->post([&, i] {
            order.push_back(i);
            on_ui = on_ui && host->is_ui_thread();
        });
        host->post([&] { host->quit(4); });
    });
    worker.join();
    EXPECT_EQ(host->run_message_loop(), 4);
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_TRUE(on_ui);

    host->quit(3);  // before the loop runs: it does not start
    EXPECT_EQ(host->run_message_loop(), 3);
}

TEST(QtCanvasTest, canvas_fills_draws_icons_and_text_in_window_pixels) {
    gui::app();
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QtCanvas canvas(painter);
        canvas.fill_rect(Rect{2, 3, 10, 8}, rgb(10, 20, 30));
        canvas.draw_icon(129, 30, 30);
        canvas.draw_text(Rect{0, 40, 30, 60}, "\xB3", rgb(0, 0, 0), TextAlign::Center);
        canvas.draw_icon(4242, 0, 0);  // unknown: nothing
    }
    EXPECT_EQ(image.pixelColor(2, 3), QColor(10, 20, 30));
    EXPECT_EQ(image.pixelColor(9, 7), QColor(10, 20, 30));
    EXPECT_EQ(image.pixelColor(10, 7), QColor(Qt::white));
    const IconImage* icon = find_icon(129, 32);
    ASSERT_NE(icon, nullptr);
    // An opaque pixel of the icon lands where it belongs.
    for (int i = 0; i < icon->width * icon->height; ++i) {
        if ((icon->argb[static_cast<size_t>(i)] >> 24) != 0xFF) continue;
        int x = i % icon->width, y = i / icon->width;
        EXPECT_EQ(image.pixel(30 + x, 30 + y), icon->argb[static_cast<size_t>(i)] | 0xFF000000u);
        break;
    }
    bool ink = false;
    for (int y = 40; y < 60; ++y)
        for (int x = 0; x < 30; ++x) ink |= image.pixelColor(x, y) != QColor(Qt::white);
    EXPECT_TRUE(ink);
}

}  // namespace
}  // namespace kc
