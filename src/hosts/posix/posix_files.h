// Platform layer (POSIX): the file system behind the safe write: O_EXCL with mode 0600,
// the old file's owner, fsync of the file and of its folder.
#pragma once
#include "platform/file_system.h"

namespace kc::posix {

// The process's one; install_file_system(&posix_file_system()) at start.
FileSystem& posix_file_system();

}  // namespace kc::posix
