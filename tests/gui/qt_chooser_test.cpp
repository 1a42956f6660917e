// GUI tests: the file, colour and font choosers, control fonts, the tray and pictures
// of an open dialog.
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <memory>

#include "gui/gui_support.h"
#include "gui/test_procedure.h"
#include "hosts/qt/qt_host.h"
#include "hosts/qt/qt_text.h"
#include "text/cp1250.h"

namespace kc {
namespace {

using gui::kTestDialog;
using gui::TestProcedure;

class QtChooserTest : public ::testing::Test {
protected:
    void SetUp() override {
        gui::app();
        host = std::make_unique<QtHost>();
        host->find_template = gui::test_templates;
    }
    std::unique_ptr<QtHost> host;
};

TEST_F(QtChooserTest, file_chooser_offers_the_filters_in_order_and_returns_an_existing_file) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString file = QDir(dir.path()).filePath("ceny.txt");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("21C4.59\r\n");
    }
    std::vector<FileFilter> filters = {{"Pliki Tekstowe", "*.txt"}, {"Wszystkie Pliki (*.*)", "*.*"}};
    gui::when_modal([&](QWidget* w) {
        auto* chooser = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(chooser, nullptr);
        QStringList names = chooser->nameFilters();
        ASSERT_EQ(names.size(), 2);
        EXPECT_TRUE(names[0].startsWith(QStringLiteral("Pliki Tekstowe")));
        EXPECT_TRUE(names[0].endsWith(QStringLiteral("(*.txt)")));
        EXPECT_TRUE(names[1].endsWith(QStringLiteral("(*)"))) << "*.* means every file, dotted or not";
        EXPECT_TRUE(names[0].startsWith(chooser->selectedNameFilter())) << "the first filter is selected";
        EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
        chooser->selectFile(file);
        QMetaObject::invokeMethod(chooser, "accept");  // as the Open button does
    });
    auto chosen = host->choose_open_file(kMainWindow, filters);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(qt_text(*chosen), QFileInfo(file).absoluteFilePath());

    gui::when_modal([&](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(host->choose_open_file(kMainWindow, filters).has_value());
}

TEST_F(QtChooserTest, colour_chooser_starts_on_the_colour_and_keeps_the_custom_colours) {
    CustomColors custom;
    custom.fill(0xFFFFFF);
    custom[2] = rgb(1, 2, 3);
    gui::when_modal([&](QWidget* w) {
        auto* chooser = qobject_cast<QColorDialog*>(w);
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->currentColor(), QColor(255, 255, 255));
        EXPECT_EQ(QColorDialog::customColor(2), QColor(1, 2, 3));
        QColorDialog::setCustomColor(5, QColor(200, 100, 50));
        chooser->setCurrentColor(QColor(255, 0, 0));
        chooser->accept();
    });
    auto chosen = host->choose_color(kMainWindow, 0xFFFFFF, custom);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, 0x0000FFu) << "red as 0x00BBGGRR";
    EXPECT_EQ(custom[5], rgb(200, 100, 50));
    EXPECT_EQ(custom[2], rgb(1, 2, 3));

    gui::when_modal([&](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(host->choose_color(kMainWindow, rgb(0, 255, 0), custom).has_value());
}

TEST_F(QtChooserTest, font_chooser_offers_fixed_pitch_faces_and_keeps_the_colour) {
    QString mono;
    for (const QString& family : QFontDatabase::families())
        if (QFontDatabase::isFixedPitch(family) && QFontDatabase::styles(family).contains(QStringLiteral("Bold"))) {
            mono = family;
            break;
        }
    if (mono.isEmpty()) GTEST_SKIP() << "no fixed-pitch face with a bold style on this machine";
    FontSpec desc;
    Color color = rgb(0, 128, 0);
    gui::when_modal([&](QWidget* w) {
        auto* chooser = qobject_cast<QFontDialog*>(w);
        ASSERT_NE(chooser, nullptr);
        EXPECT_TRUE(chooser->testOption(QFontDialog::MonospacedFonts));
        QFont f(mono);
        f.setPixelSize(16);
        f.setWeight(QFont::Bold);
        chooser->setCurrentFont(f);
        chooser->accept();
    });
    ASSERT_TRUE(host->choose_font(kMainWindow, desc, color));
    EXPECT_EQ(qt_text(desc.face), mono);
    EXPECT_EQ(desc.weight, 700);
    EXPECT_NE(desc.height, 0);
    EXPECT_EQ(color, rgb(0, 128, 0));

    FontSpec before = desc;
    gui::when_modal([&](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(host->choose_font(kMainWindow, desc, color));
    EXPECT_EQ(desc.face, before.face);
}

TEST_F(QtChooserTest, control_font_takes_height_weight_and_a_face_that_exists) {
    TestProcedure proc;
    proc.init = [&] {
        FontSpec desc;  // "Arial", 55 pixels, weight 900
        desc.face = "NoSuchFaceAnywhere";
        desc.height = 40;
        host->set_control_font(kTestDialog, 602, desc);
        QFont f = host->control_widget(kTestDialog, 602)->font();
        EXPECT_EQ(f.weight(), QFont::Black);
        EXPECT_TRUE(QFontDatabase::hasFamily(QFontInfo(f).family()));
        EXPECT_LE(QFontMetrics(f).height(), 41) << "a positive height is the whole cell";
        EXPECT_GE(QFontMetrics(f).height(), 30);
        desc.height = -20;
        desc.weight = 400;
        desc.italic = true;
        host->set_control_font(kTestDialog, 602, desc);
        f = host->control_widget(kTestDialog, 602)->font();
        EXPECT_EQ(f.pixelSize(), 20);
        EXPECT_TRUE(f.italic());
        host->end_dialog(kTestDialog, 1);
    };
    host->run_dialog(kTestDialog, proc);
}

TEST_F(QtChooserTest, an_open_dialog_can_be_saved_as_a_picture_and_no_tray_is_no_failure) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string path = QDir(dir.path()).filePath("dialog.png").toStdString();
    TestProcedure proc;
    gui::when_modal([&](QWidget*) {
        EXPECT_TRUE(host->save_screenshot(kTestDialog, path));
        host->end_dialog(kTestDialog, 1);
    });
    host->run_dialog(kTestDialog, proc);
    QImage shot(QString::fromStdString(path));
    EXPECT_EQ(shot.size(), QSize(300, 220));

    if (!host->has_tray()) {
        EXPECT_FALSE(host->tray_add("Kavor Cen"));
        host->tray_remove();
    }
}

}  // namespace
}  // namespace kc
