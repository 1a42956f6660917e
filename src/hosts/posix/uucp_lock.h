// Platform layer (POSIX): UUCP lock files, the way serial programs on Linux keep off
// each other's ports: /run/lock/LCK..ttyUSB0 holding the owner's PID as ten ASCII
// characters and a newline.
#pragma once
#include <sys/types.h>

#include <string>
#include <system_error>

namespace kc::posix {

// Where lock files go: /run/lock, else /var/lock. Tests point it elsewhere; "" goes
// back to the default.
void set_lock_directory(const std::string& directory);
std::string lock_directory();

// "<lock directory>/LCK..ttyUSB0" for the device `path` (symlinks followed, "/dev/"
// dropped, further slashes as "_": /dev/pts/3 gives LCK..pts_3).
std::string lock_file_path(const std::string& path);

// The PID a lock file names, or 0 when it is missing or unreadable.
pid_t lock_file_pid(const std::string& lock_path);

struct UucpLock {
    std::string path;         // our lock file, "" when none was written
    pid_t holder = 0;         // a live other process that holds the device
    std::error_code error;    // EBUSY when `holder` is set
};

// Takes the lock for `device`. A lock of a process that no longer runs is removed; a
// live one refuses. A folder where no lock can be written does not stop the open
// (the flock still guards the line).
UucpLock take_uucp_lock(const std::string& device);
// Removes our own lock file (only when it still names this process).
void drop_uucp_lock(const std::string& lock_path);

// "minicom, PID 4711" for a running process, or "PID 4711".
std::string describe_process(pid_t pid);
// Another process that has `device` open, found through /proc; 0 when none is seen.
pid_t find_device_holder(const std::string& device);

}  // namespace kc::posix
