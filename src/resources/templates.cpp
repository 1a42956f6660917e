// Resources: looking up the window templates by id.
#include "resources/templates.h"

#include "resources/command_ids.h"

namespace kc {

// Each template lives in a file of its own.
const DialogTemplate& panel_template();
const DialogTemplate& about_dialog_template();
const DialogTemplate& transmission_dialog_template();
const DialogTemplate& light_dialog_template();
const DialogTemplate& scroll_speed_dialog_template();
const DialogTemplate& program_settings_dialog_template();
const DialogTemplate& price_history_dialog_template();
const DialogTemplate& price_schedule_dialog_template();
const DialogTemplate& unattended_dialog_template();
const DialogTemplate& centrala_dialog_template();

const DialogTemplate* find_dialog_template(int id) {
    switch (id) {
        case kPanelTemplateId: return &panel_template();
        case kDialogAbout: return &about_dialog_template();
        case kDialogTransmission: return &transmission_dialog_template();
        case kDialogLight: return &light_dialog_template();
        case kDialogScrollSpeed: return &scroll_speed_dialog_template();
        case kDialogProgramSettings: return &program_settings_dialog_template();
        case kDialogPriceHistory: return &price_history_dialog_template();
        case kDialogPriceSchedule: return &price_schedule_dialog_template();
        case kDialogUnattended: return &unattended_dialog_template();
        case kDialogCentrala: return &centrala_dialog_template();
        default: return nullptr;
    }
}

}  // namespace kc
