// Settings dialogs: dialog 140 "Historia cen", the price journal newest first, with a
// filter by day.
#pragma once
#include <vector>

#include "platform/window_procedure.h"
#include "state/state.h"
#include "storage/price_files.h"

namespace kc {

class PriceHistoryDialog : public WindowProcedure {
public:
    explicit PriceHistoryDialog(Program& p) : p_(p) {}
    void on_init() override;
    void on_command(int id) override;

private:
    void fill(const std::string& day);
    Program& p_;
    std::vector<JournalEntry> entries_;  // oldest first
};

// How an entry reads in the list.
std::string history_row(const JournalEntry& e);

}  // namespace kc
