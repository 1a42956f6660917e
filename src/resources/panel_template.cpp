// Resources: the panel DYSTRDLG. The left column holds the operator's controls; the
// preview of the five price fields, painted by the panel, fills (218, 98)-(614, 505)
// with the captions 561..565 standing in its grey part. The text-display and
// temperature controls exist but are hidden.
#include "resources/command_ids.h"
#include "resources/head_office_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

// Price row k (0..4) of the group "Ceny".
constexpr int price_row_top(int k) { return 30 + 32 * k; }
// Caption of price field k (0..4), beside the bulb at (224, 144 + 81k).
constexpr Rect caption_rect(int k) { return Rect{258, 112 + 81 * k, 434, 167 + 81 * k}; }

// Label, price edit and "Mrugaj" box of row k.
constexpr Rect label_rect(int k) { return Rect{18, price_row_top(k) + 4, 36, price_row_top(k) + 22}; }
constexpr Rect price_rect(int k) { return Rect{40, price_row_top(k), 120, price_row_top(k) + 24}; }
constexpr Rect blink_rect(int k) { return Rect{130, price_row_top(k) + 2, 202, price_row_top(k) + 22}; }

const ControlTemplate kControls[] = {
    // ---- Ceny ----
    {kNoId, ControlKind::GroupBox, "Ceny", Rect{8, 8, 210, 224}},
    {kNoId, ControlKind::Static, "1.", label_rect(0)},
    {kIdPrice1, ControlKind::Edit, "", price_rect(0)},
    {kIdBlink1, ControlKind::CheckBox, "Mrugaj", blink_rect(0)},
    {kNoId, ControlKind::Static, "2.", label_rect(1)},
    {kIdPrice2, ControlKind::Edit, "", price_rect(1)},
    {kIdBlink1 + 1, ControlKind::CheckBox, "Mrugaj", blink_rect(1)},
    {kNoId, ControlKind::Static, "3.", label_rect(2)},
    {kIdPrice3, ControlKind::Edit, "", price_rect(2)},
    {kIdBlink1 + 2, ControlKind::CheckBox, "Mrugaj", blink_rect(2)},
    {kNoId, ControlKind::Static, "4.", label_rect(3)},
    {kIdPrice4, ControlKind::Edit, "", price_rect(3)},
    {kIdBlink1 + 3, ControlKind::CheckBox, "Mrugaj", blink_rect(3)},
    {kNoId, ControlKind::Static, "5.", label_rect(4)},
    {kIdPrice5, ControlKind::Edit, "", price_rect(4)},
    {kIdBlink1 + 4, ControlKind::CheckBox, "Mrugaj", blink_rect(4)},
    {kIdSendPrices, ControlKind::Button, "Wyślij", Rect{18, 192, 202, 218}},

    // ---- Status ----
    {kNoId, ControlKind::GroupBox, "Status", Rect{8, 232, 210, 286}},
    {kIdStatus, ControlKind::Static, "", Rect{18, 258, 202, 278}, kCentered},

    // ---- Skrypt ----
    {kNoId, ControlKind::GroupBox, "Skrypt", Rect{8, 294, 210, 384}},
    {kIdScriptPath, ControlKind::Edit, "", Rect{18, 316, 164, 340}},
    {kIdChooseScript, ControlKind::Button, "..", Rect{170, 316, 202, 340}},
    {kIdScriptButton, ControlKind::Button, "Start", Rect{18, 350, 202, 376}},

    // ---- Podświetlenie ----
    {kNoId, ControlKind::GroupBox, "Podświetlenie", Rect{8, 392, 210, 505}},
    {kIdBacklightOn, ControlKind::Button, "Włącz", Rect{18, 416, 106, 442}},
    {kIdBacklightOff, ControlKind::Button, "Wyłącz", Rect{114, 416, 202, 442}},
    {kNoId, ControlKind::Static, "Poziom światła :", Rect{18, 464, 130, 484}},
    {kIdLightLevel, ControlKind::Static, "", Rect{134, 462, 202, 486}, kCentered},

    // ---- preview: frame and the captions of the price fields ----
    {kNoId, ControlKind::Frame, "", Rect{216, 96, 616, 507}},
    {kIdCaption1, ControlKind::Static, "", caption_rect(0), kCentered},
    {kIdCaption1 + 1, ControlKind::Static, "", caption_rect(1), kCentered},
    {kIdCaption1 + 2, ControlKind::Static, "", caption_rect(2), kCentered},
    {kIdCaption1 + 3, ControlKind::Static, "", caption_rect(3), kCentered},
    {kIdCaption1 + 4, ControlKind::Static, "", caption_rect(4), kCentered},
    // What the sign confirmed of the last price batch.
    {kIdPriceOutcome, ControlKind::Static, "", Rect{216, 509, 616, 527}},
    // Where the two text displays are drawn when a build shows them.
    {kNoId, ControlKind::Frame, "", Rect{235, 116, 598, 154}, kHidden},
    {kNoId, ControlKind::Frame, "", Rect{235, 169, 598, 207}, kHidden},
    {559, ControlKind::Static, "", Rect{630, 220, 700, 240}, kHidden},
    {560, ControlKind::Static, "", Rect{710, 220, 780, 240}, kHidden},

    // ---- Wyświetlacz (hidden) ----
    {kNoId, ControlKind::GroupBox, "Wyświetlacz", Rect{630, 8, 930, 150}, kHidden},
    {kIdDisplay1Text, ControlKind::Edit, "", Rect{640, 30, 840, 54}, kHidden},
    {kIdSendDisplay1, ControlKind::Button, "Wyślij", Rect{848, 30, 920, 54}, kHidden},
    {kIdNegative1, ControlKind::CheckBox, "Negatyw", Rect{640, 58, 760, 78}, kHidden},
    {kIdDisplay2Text, ControlKind::Edit, "", Rect{640, 88, 840, 112}, kHidden},
    {kIdSendDisplay2, ControlKind::Button, "Wyślij", Rect{848, 88, 920, 112}, kHidden},
    {kIdNegative2, ControlKind::CheckBox, "Negatyw", Rect{640, 116, 760, 136}, kHidden},

    // ---- Temperatura (hidden) ----
    {kNoId, ControlKind::GroupBox, "Temperatura", Rect{630, 158, 930, 210}, kHidden},
    {kIdTemperature, ControlKind::Edit, "", Rect{640, 178, 740, 202}, kHidden},

    // ---- Centrala: the head office link over the preview, shown only when one is set up ----
    {kIdHeadOfficeGroup, ControlKind::GroupBox, "Centrala", Rect{216, 8, 616, 88}, kHidden},
    {kIdHeadOfficeLink, ControlKind::Static, "", Rect{226, 30, 606, 50}, kHidden},
    {kIdHeadOfficeChange, ControlKind::Static, "", Rect{226, 58, 606, 78}, kHidden},
};

const DialogTemplate kPanel{kPanelTemplateId, "DYSTRDLG", "", 2000, 1000, kControls, false};

}  // namespace

const DialogTemplate& panel_template() { return kPanel; }

}  // namespace kc
