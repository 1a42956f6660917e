// Platform layer (Win32): the start at login as a value of
// HKCU\Software\Microsoft\Windows\CurrentVersion\Run.
#pragma once
#include <memory>
#include <string>

#include "platform/autostart.h"

namespace kc {

// What the Run value starts: the quoted program and the folder it is to work in, given
// as "/folder". An installed copy names "%LOCALAPPDATA%\KavorCen", which the program
// expands itself, so the value holds no account's path; a portable copy names the
// folder it works in now.
std::wstring run_value_command(const std::wstring& program, bool installed, const std::wstring& current_folder);

// The folder a "/folder" argument asks for, environment variables expanded; "" without one.
std::wstring folder_argument();

std::shared_ptr<Autostart> make_run_key_autostart(std::wstring value_name, std::wstring command);

}  // namespace kc
