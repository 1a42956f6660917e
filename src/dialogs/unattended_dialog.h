// Settings dialogs: dialog 142 "Praca bez obsługi": connecting at start, starting at
// login, the sign watch's period and restoring the confirmed prices. Kept in the extra
// settings file; the start at login lives in the host's own registration.
#pragma once
#include <optional>
#include <string>

#include "platform/window_procedure.h"
#include "state/state.h"

namespace kc {

// The watch period field: 0..1440 minutes, blanks around it allowed; nullopt for
// anything else.
std::optional<int> parse_watch_minutes(const std::string& text);

class UnattendedDialog : public WindowProcedure {
public:
    explicit UnattendedDialog(Program& p) : p_(p) {}
    void on_init() override;
    void on_command(int id) override;

private:
    // False (and the dialog stays open) when the period is refused.
    bool accept();
    void save_extra(bool connect, bool watch, int minutes, bool restore);
    void apply_autostart(bool wanted);
    Program& p_;
};

}  // namespace kc
