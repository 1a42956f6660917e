// Resources: menu 300, accelerators 200 and the main window's frame.
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const MenuItemTemplate kActionItems[] = {
    {"Połącz", kCmdConnect},
    {"Test", kCmdTest},
    {"Rozłącz", kCmdDisconnect},
    {nullptr, 0},
    {"Zakończ", kCmdExit},
};

const MenuItemTemplate kSettingsItems[] = {
    {"Transmisja", kCmdTransmission},
    {"Światło", kCmdLight},
    {"Szybkość przewijania", kCmdScrollSpeed},
    {"Ustawienia programu", kCmdProgramSettings},
    {"Czytaj z wieży", kCmdReadback},
    {"Historia cen", kCmdPriceHistory},
    {"Harmonogram cen", kCmdPriceSchedule},
    {"Praca bez obsługi", kCmdUnattended},
    {"Centrala", kCmdCentrala},
};

const MenuBarEntry kMenu300[] = {
    {"&Akcja", 0, kActionItems},
    {"&Ustawienia", 0, kSettingsItems},
    {"Program", kCmdAbout, {}},
};

const AcceleratorTemplate kAccelerators200[] = {
    {AcceleratorKey::PageDown, true, kCmdDisconnect},
    {AcceleratorKey::PageUp, true, kCmdConnect},
};

const MainWindowTemplate kMainWindowTemplate{"Kavor Cen", 10, 10, 648, 577, kIconProgram, kMenu300, kAccelerators200};

}  // namespace

const MainWindowTemplate& main_window_template() { return kMainWindowTemplate; }

}  // namespace kc
