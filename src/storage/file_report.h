// Persistence: telling the operator that a file could not be written.
#pragma once
#include <string>
#include <system_error>

#include "state/state.h"

namespace kc {

// Shows `text` in a message box on the UI thread (posted, so any thread may call it and
// none waits for the box).
void tell_file_failure(Program& p, const std::string& text);
// "Nie zapisano ustawień w pliku <path>: <why>."
void tell_settings_not_saved(Program& p, const std::string& path, const std::error_code& error);

}  // namespace kc
