// Settings dialogs: dialog 143 "Centrala": the broker, the station's id and login, the
// CA file, and a check of them before they are kept. The settings live in the extra
// settings file; the password in a file of its own through the host's password store,
// never in the settings file and never shown again.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "platform/window_procedure.h"
#include "state/state.h"

namespace kc {

// The password file the dialog writes, in the working folder.
inline constexpr const char* kHeadOfficePasswordName = "KavorCen-centrala-haslo";
std::string head_office_password_path(const Program& p);

class CentralaDialog : public WindowProcedure {
public:
    explicit CentralaDialog(Program& p) : p_(p) {}
    // A check still running is told to stop and waited for (a tenth of a second).
    ~CentralaDialog() override;
    void on_init() override;
    void on_command(int id) override;

    struct Check;

private:
    // The edits as the system uses them: trimmed, paths and password in the system's text.
    struct Values {
        std::string broker, host, station, user, password, ca_file;
        int port = 0;
    };
    // Reads and checks the edits; a refusal is told in a message box and gives nullopt.
    std::optional<Values> read_values(bool for_check);
    bool accept();
    void choose_ca_file();
    void start_check();
    void stop_check();
    void refuse(const std::string& text);

    Program& p_;
    std::shared_ptr<Check> check_;
};

}  // namespace kc
