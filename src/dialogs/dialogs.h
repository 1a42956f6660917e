// Settings dialogs: each runs modally on the UI thread and returns when it closes.
#pragma once
#include "state/state.h"

namespace kc {

void run_about_dialog(Program& p);               // 100
void run_transmission_dialog(Program& p);        // 101
void run_light_dialog(Program& p);               // 102
void run_scroll_speed_dialog(Program& p);        // 103
void run_program_settings_dialog(Program& p);    // 104
void run_price_history_dialog(Program& p);       // 140 "Historia cen"
void run_price_schedule_dialog(Program& p);      // 141 "Harmonogram cen"
void run_unattended_dialog(Program& p);          // 142 "Praca bez obsługi"
void run_centrala_dialog(Program& p);            // 143 "Centrala"

}  // namespace kc
