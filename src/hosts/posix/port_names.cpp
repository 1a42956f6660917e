// Platform layer (POSIX): port names to device paths through the user's links.
#include "hosts/posix/port_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace kc {

namespace {

// The number of "COMn", or 0.
int com_number(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) return 0;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= 256 ? n : 0;
}

}  // namespace

std::string port_link_directory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kavorcen";
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "") + "/.config/kavorcen";
}

std::string resolve_port_device(const std::string& com_name) {
    if (!com_name.empty() && com_name[0] == '/') return com_name;
    int n = com_number(com_name);
    if (n == 0) return {};

    std::string dir = port_link_directory();
    std::string link = dir + "/COM" + std::to_string(n);
    struct stat st;
    if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char target[4096];
        ssize_t len = readlink(link.c_str(), target, sizeof target - 1);
        if (len > 0) {
            std::string t(target, static_cast<size_t>(len));
            return t[0] == '/' ? t : dir + "/" + t;  // a relative link counts from its folder
        }
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string describe_port(int n) { return resolve_port_device("COM" + std::to_string(n)); }

}  // namespace kc
