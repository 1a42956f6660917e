// Persistence: telling the operator that a file could not be written.
#pragma once
#include <string>
#include <system_error>

#include "state/state.h"

namespace kc {

// Shows `text` in a message box on the UI thread (posted, so any thread may call it and
// none waits for the box).
void tell_file_failure(Program& p, const std::string& text);

// A write of `path` failed. One cause gives one message: failures of several files with
// the same cause before the box is up are told in it together ("Nie można zapisać plików
// KavorCb.pod, KavorSw.pod w folderze ...: brak miejsca na dysku."), and once told, that
// cause stays quiet for kFileTroubleQuietMs. `alone` is the message when this file is
// the only one. Any thread.
void tell_write_failure(Program& p, const std::string& path, const std::error_code& error, const std::string& alone);
inline constexpr int kFileTroubleQuietMs = 10 * 60 * 1000;

// "Nie zapisano ustawień w pliku <path>: <why>."
void tell_settings_not_saved(Program& p, const std::string& path, const std::error_code& error);

}  // namespace kc
