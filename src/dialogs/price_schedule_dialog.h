// Settings dialogs: dialog 141 "Harmonogram cen", the planned price changes: add, change
// and delete, kept in the schedule file.
#pragma once
#include <string>

#include "platform/window_procedure.h"
#include "state/state.h"
#include "storage/price_files.h"

namespace kc {

class PriceScheduleDialog : public WindowProcedure {
public:
    explicit PriceScheduleDialog(Program& p) : p_(p) {}
    void on_init() override;
    void on_command(int id) override;

private:
    void fill_list();
    void show_entry(int index);
    // The edited change, or a message to the operator and false.
    bool read_entry(ScheduleEntry& entry);
    bool save();
    int selected() const;

    Program& p_;
    std::string path_;
    Schedule schedule_;
};

// How a planned change reads in the list.
std::string schedule_row(const ScheduleEntry& e);

}  // namespace kc
