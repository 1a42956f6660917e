// Persistence: where the program's files are. Every path that a file is opened by or
// that a message names is built here, so each shows the folder once and cleanly.
#pragma once
#include <string>

#include "state/state.h"

namespace kc {

// `folder` joined with `name` by one separator: "/home/op/t4ro" and "KavorCen.ini" give
// "/home/op/t4ro/KavorCen.ini", a folder that already ends in one gives no second, and a
// Windows folder ("C:\Stacja") gets a backslash. An empty folder leaves the name alone.
std::string join_path(const std::string& folder, const std::string& name);

// A file of the working folder (settings, logs, price files).
std::string work_file_path(const Program& p, const std::string& name);

// A path as a message shows it, in Windows-1250: the system's paths are UTF-8 on Linux
// and already in the code page on Windows.
std::string shown_path(const std::string& path);

// The working folder, whole, as a message shows it ("." when it was too long to store
// is looked up again).
std::string shown_work_folder(const Program& p);

}  // namespace kc
