// Platform layer (Linux): the start at login as an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<app id>.desktop (~/.config/autostart without the variable).
#pragma once
#include <memory>
#include <string>

#include "platform/autostart.h"

namespace kc {

// What the entry starts: the menu's launcher for an installed program (it picks the
// per-user data folder), or the running binary in the folder it works in.
struct AutostartLaunch {
    std::string program;  // absolute
    std::string folder;   // the entry's Path; empty for the launcher
};

// The launcher when `running` is the installed binary and the launcher is there;
// otherwise `running` in `current_folder`.
AutostartLaunch choose_autostart_launch(const std::string& running, const std::string& installed_binary,
                                        const std::string& launcher, const std::string& current_folder);
// The binary of this process (/proc/self/exe); empty when the system does not say.
std::string running_binary();

// "$XDG_CONFIG_HOME/autostart/<app_id>.desktop"; a relative or empty XDG_CONFIG_HOME
// counts as unset, as the XDG base directory rules say.
std::string autostart_entry_path(const std::string& app_id);
// The entry's text: a desktop entry that desktop-file-validate accepts.
std::string autostart_entry_text(const AutostartLaunch& launch, const std::string& app_id);

std::shared_ptr<Autostart> make_xdg_autostart(AutostartLaunch launch, std::string app_id);

}  // namespace kc
