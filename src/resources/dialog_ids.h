// Settings dialogs: the control ids of dialogs 100 to 104, shared by their templates
// and their procedures.
#pragma once

namespace kc {

// Both the light and the scroll speed dialog send with this button.
inline constexpr int kIdSend = 1028;

// 100, the About box.
inline constexpr int kIdAboutVersion = 530;
inline constexpr int kIdAboutPriceController = 531;
inline constexpr int kIdAboutDisplayController = 532;
inline constexpr int kIdAboutFiles = 533;  // the folder of KavorCen.ini and the logs

// 101, transmission.
inline constexpr int kIdPortList = 544;
inline constexpr int kIdSpeedList = 545;
inline constexpr int kIdDataBitsList = 546;
inline constexpr int kIdParityList = 547;
inline constexpr int kIdStopBitsList = 548;
inline constexpr int kIdFontButton = 555;
inline constexpr int kIdLogTraffic = 1073;
inline constexpr int kIdDeviceList = 549;  // the device the selected COM name reaches
inline constexpr int kIdReconnect = 550;   // "Łącz ponownie po odłączeniu"

// 102, light and brightness. Edits of the price controller, by row.
inline constexpr int kIdPriceLowLevel = 1081;
inline constexpr int kIdPriceHighLevel = 1083;
inline constexpr int kIdAutoBacklight = 1085;
// Low power of price n (1..5): 1082, 1086, 1087, 1088, 1089.
constexpr int price_power_low_edit(int n) { return n == 1 ? 1082 : 1084 + n; }
// High power of price n (1..5): 1084, 1090, 1091, 1092, 1093.
constexpr int price_power_high_edit(int n) { return n == 1 ? 1084 : 1088 + n; }
// The hidden edits of the two text displays.
inline constexpr int kIdDisplay1LowLevel = 1073;
inline constexpr int kIdDisplay1LowPower = 1074;
inline constexpr int kIdDisplay1HighLevel = 1075;
inline constexpr int kIdDisplay1HighPower = 1076;
inline constexpr int kIdDisplay2LowLevel = 1077;
inline constexpr int kIdDisplay2LowPower = 1078;
inline constexpr int kIdDisplay2HighLevel = 1079;
inline constexpr int kIdDisplay2HighPower = 1080;
// Colour swatches beside the powers: low column 1099..1103, high column 1104..1108.
inline constexpr int kIdSwatchLow1 = 1099;
inline constexpr int kIdSwatchHigh1 = 1104;

// 103, scroll speeds.
inline constexpr int kIdScrollSpeed1 = 1071;
inline constexpr int kIdScrollSpeed2 = 1072;

// 104, program settings: caption edit and colour button of row n (1..5).
constexpr int caption_edit_id(int n) { return 1084 + 2 * n; }   // 1086, 1088, ..., 1094
constexpr int caption_color_id(int n) { return 1085 + 2 * n; }  // 1087, 1089, ..., 1095
inline constexpr int kIdHideOnMinimize = 1096;

// 140, "Historia cen": the date filter and the journal's entries, newest first.
inline constexpr int kIdHistoryDate = 1401;
inline constexpr int kIdHistoryShow = 1402;
inline constexpr int kIdHistoryList = 1403;

// 141, "Harmonogram cen": the planned changes and the fields of the one being edited.
inline constexpr int kIdScheduleList = 1411;
inline constexpr int kIdScheduleDate = 1412;
inline constexpr int kIdScheduleTime = 1413;
inline constexpr int kIdSchedulePrice1 = 1414;  // ..1418
inline constexpr int kIdScheduleBlink1 = 1419;  // ..1423
inline constexpr int kIdScheduleAdd = 1424;
inline constexpr int kIdScheduleChange = 1425;
inline constexpr int kIdScheduleDelete = 1426;

// 142, "Praca bez obsługi".
inline constexpr int kIdConnectAtStart = 1431;
inline constexpr int kIdStartAtLogin = 1432;
inline constexpr int kIdSignWatch = 1433;
inline constexpr int kIdSignWatchMinutes = 1434;
inline constexpr int kIdRestorePrices = 1435;

// 143, "Centrala": the broker, the station's login and the check of both.
inline constexpr int kIdHoBroker = 1441;
inline constexpr int kIdHoStation = 1442;
inline constexpr int kIdHoUser = 1443;
inline constexpr int kIdHoPassword = 1444;
inline constexpr int kIdHoPasswordNote = 1445;  // says a password is kept; never shows it
inline constexpr int kIdHoCaFile = 1446;
inline constexpr int kIdHoChooseCa = 1447;
inline constexpr int kIdHoCheck = 1448;
inline constexpr int kIdHoCheckResult = 1449;  // what the check found

}  // namespace kc
