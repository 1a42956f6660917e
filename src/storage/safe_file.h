// Files the program rewrites: written whole to a temporary file beside the target and
// renamed over it, so a failed write never leaves a truncated or half-written file, and
// no one but the owner can read the new bytes before they take the old file's place.
#pragma once
#include <string>
#include <system_error>

namespace kc {

// Writes `bytes` to `path` through a fresh ".<name>.<random>.tmp" beside it, created
// new and private (platform/file_system.h), given the old file's owner where permitted
// and its mode, flushed to the disk, renamed over it, and the folder flushed. A link
// at `path` stays: the file it points to is replaced. In text mode line ends follow the
// platform ("\n" on Linux, CR LF on Windows). On any failure the temporary file is
// removed, the old file stays as it was, and the error (an errno value in the generic
// category) is returned.
std::error_code write_file_replacing(const std::string& path, const std::string& bytes, bool text_mode);

// Why a file could not be written, in Polish for a message box: read-only folder, no
// permission, disk full, a folder in the way, or the system's own text.
std::string file_error_reason(const std::error_code& ec);

}  // namespace kc
