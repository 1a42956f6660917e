// Persistence: paths in the working folder.
#include "storage/work_path.h"

#include <filesystem>

#include "text/cp1250.h"

namespace kc {

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    if (last == '/' || last == '\\') return folder + name;
    // A folder written with backslashes only is a Windows one.
    char separator = folder.find('/') == std::string::npos && folder.find('\\') != std::string::npos ? '\\' : '/';
    return folder + separator + name;
}

std::string work_file_path(const Program& p, const std::string& name) {
    return join_path(p.state.work_directory, name);
}

std::string shown_path(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    return utf8_to_cp1250(path);
#endif
}

std::string shown_work_folder(const Program& p) {
    std::string folder = p.state.work_directory;
    if (folder.empty() || folder == ".") {
        std::error_code error;
        std::string here = std::filesystem::current_path(error).string();
        if (!error) folder = here;
    }
    return shown_path(folder);
}

}  // namespace kc
