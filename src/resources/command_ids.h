// Resources: menu command ids, timer ids, icon ids and string-table ids.
#pragma once

namespace kc {

// Menu 300.
inline constexpr int kCmdConnect = 256;          // "Połącz"
inline constexpr int kCmdDisconnect = 257;       // "Rozłącz"
inline constexpr int kCmdExit = 258;             // "Zakończ"
inline constexpr int kCmdTransmission = 259;     // "Transmisja"
inline constexpr int kCmdAbout = 260;            // "Program"
inline constexpr int kCmdLight = 40046;          // "Światło"
inline constexpr int kCmdTest = 40047;           // "Test"
inline constexpr int kCmdScrollSpeed = 40049;    // scroll speed dialog
inline constexpr int kCmdProgramSettings = 40050;  // "Ustawienia programu"
inline constexpr int kCmdReadback = 40053;       // "Czytaj z wieży"
// Posted to the main window, in no menu: the port reader saw the device go away, and
// a serial device came or went.
inline constexpr int kCmdLinkLost = 40120;
inline constexpr int kCmdPortsChanged = 40121;
// Main window timer: watches a new link for silence and a lost device for its return.
inline constexpr int kTimerConnection = 12;
// Main window timer: the sign watch's period, and a retry while the link is busy.
inline constexpr int kTimerSignWatch = 13;
inline constexpr int kCmdPriceHistory = 40141;   // "Historia cen"
inline constexpr int kCmdPriceSchedule = 40142;  // "Harmonogram cen"
inline constexpr int kCmdUnattended = 40150;     // "Praca bez obsługi"
inline constexpr int kCmdCentrala = 40151;       // "Centrala"
// Posted to the main window: the head-office settings changed; the link is made again.
inline constexpr int kCmdHeadOfficeChanged = 40152;
// Posted to the panel: the link came up; the schedule file was saved.
inline constexpr int kCmdPriceLinkUp = 40143;
inline constexpr int kCmdPriceScheduleChanged = 40144;

// Panel timers.
inline constexpr int kTimerScroll1 = 1;
inline constexpr int kTimerScroll2 = 2;
inline constexpr int kTimerReply = 3;
inline constexpr int kTimerStatus = 4;
inline constexpr int kTimerStatistics = 5;
inline constexpr int kTimerBlink = 6;
inline constexpr int kTimerAutoBacklight = 7;
inline constexpr int kTimerPriceSchedule = 8;  // the next planned price change, a minute at most

// Icons.
inline constexpr int kIconProgram = 129;
inline constexpr int kIconBulb = 135;

// Dialog templates.
inline constexpr int kDialogAbout = 100;
inline constexpr int kDialogTransmission = 101;
inline constexpr int kDialogLight = 102;
inline constexpr int kDialogScrollSpeed = 103;
inline constexpr int kDialogProgramSettings = 104;
inline constexpr int kDialogPriceHistory = 140;   // "Historia cen"
inline constexpr int kDialogPriceSchedule = 141;  // "Harmonogram cen"
inline constexpr int kDialogUnattended = 142;     // "Praca bez obsługi"
inline constexpr int kDialogCentrala = 143;       // "Centrala"

// Panel controls (DYSTRDLG).
inline constexpr int kIdStatus = 556;
inline constexpr int kIdTemperature = 557;
inline constexpr int kIdLightLevel = 558;
inline constexpr int kIdCaption1 = 561;  // ..565
inline constexpr int kIdPriceOutcome = 566;  // the line under the preview: what the sign confirmed
inline constexpr int kIdPrice1 = 1020;
inline constexpr int kIdPrice2 = 1023;
inline constexpr int kIdPrice3 = 1024;
inline constexpr int kIdPrice4 = 1025;
inline constexpr int kIdPrice5 = 1026;
inline constexpr int kIdDisplay1Text = 1021;
inline constexpr int kIdScriptPath = 1022;
inline constexpr int kIdSendPrices = 1028;
inline constexpr int kIdSendDisplay1 = 1029;
inline constexpr int kIdDisplay2Text = 1030;
inline constexpr int kIdSendDisplay2 = 1031;
inline constexpr int kIdBacklightOn = 1032;
inline constexpr int kIdBacklightOff = 1033;
inline constexpr int kIdScriptButton = 1070;
inline constexpr int kIdNegative1 = 1072;
inline constexpr int kIdNegative2 = 1073;
inline constexpr int kIdBlink1 = 1074;  // ..1078
inline constexpr int kIdChooseScript = 1079;

// Price edit of field n (1..5).
constexpr int price_edit_id(int n) {
    return n == 1 ? kIdPrice1 : n == 2 ? kIdPrice2 : n == 3 ? kIdPrice3 : n == 4 ? kIdPrice4 : kIdPrice5;
}

}  // namespace kc
