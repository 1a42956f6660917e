// The extra settings file beside KavorCen.ini: "KavorCen-dodatkowe.ini", one
// "key=value" a line, "#" starts a comment line. Keys this version does not know are
// kept and written back, so an older program never drops a newer one's settings.
#pragma once
#include <string>
#include <system_error>
#include <vector>

#include "state/state.h"

namespace kc {

inline constexpr const char* kExtraSettingsName = "KavorCen-dodatkowe.ini";

// KavorCen-dodatkowe.ini in the working folder (work_file_path)
std::string extra_settings_path(const Program& p);

struct ExtraLoadResult {
    bool found = false;            // the file existed and was read
    std::vector<int> bad_lines;    // 1-based numbers of lines that were skipped
    // The file holds head office's password and others than its owner may read it.
    bool password_exposed = false;
};

// Reads the file into p.extra (replacing what it held), with every line kept so that a
// save writes comments and lines not understood back in place. A line without "=" or
// with an empty key is skipped and its number reported.
ExtraLoadResult load_extra_settings(Program& p);
// Writes p.extra whole through a temporary file (the old file's mode kept); the error
// says why it failed.
std::error_code save_extra_settings(Program& p);

// The file's text for the given values (what save writes).
std::string extra_settings_text(const ExtraSettings& extra);

}  // namespace kc
