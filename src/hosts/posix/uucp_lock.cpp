// Platform layer (POSIX): UUCP lock files and who holds a device.
#include "hosts/posix/uucp_lock.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kc::posix {
namespace {

std::mutex g_directory_mutex;
std::string g_directory;  // "" = the system's

bool is_directory(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::string real_path(const std::string& path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

bool process_alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// The lock-file convention: the PID goes into a temporary file first and link() gives
// it the lock's name, so no reader ever finds a lock without its PID. EEXIST when a
// lock is there.
std::error_code create_lock(const std::string& path) {
    static std::atomic<unsigned> serial{0};
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const std::string tmp =
        folder + "LTMP." + std::to_string(getpid()) + "." + std::to_string(serial.fetch_add(1));
    ::unlink(tmp.c_str());  // a leftover of a process that had our PID
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return {errno, std::generic_category()};
    char text[16];
    int n = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(getpid()));
    bool ok = ::write(fd, text, static_cast<size_t>(n)) == n;
    ok = ::close(fd) == 0 && ok;
    int error = ok ? 0 : EIO;
    if (ok && ::link(tmp.c_str(), path.c_str()) != 0) error = errno;
    ::unlink(tmp.c_str());
    return {error, std::generic_category()};
}

}  // namespace

void set_lock_directory(const std::string& directory) {
    std::lock_guard<std::mutex> lock(g_directory_mutex);
    g_directory = directory;
}

std::string lock_directory() {
    {
        std::lock_guard<std::mutex> lock(g_directory_mutex);
        if (!g_directory.empty()) return g_directory;
    }
    return is_directory("/run/lock") ? "/run/lock" : "/var/lock";
}

std::string lock_file_path(const std::string& path) {
    std::string name = real_path(path);
    if (name.compare(0, 5, "/dev/") == 0)
        name.erase(0, 5);
    else if (auto slash = name.rfind('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    for (char& c : name)
        if (c == '/') c = '_';
    return lock_directory() + "/LCK.." + name;
}

pid_t lock_file_pid(const std::string& lock_path) {
    FILE* f = std::fopen(lock_path.c_str(), "r");
    if (!f) return 0;
    char text[64] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    int pid = 0;
    // ASCII as everyone writes it today; a few old programs wrote a binary int.
    if (std::sscanf(text, "%d", &pid) != 1 && n == sizeof(int)) std::memcpy(&pid, text, sizeof pid);
    return pid > 0 ? pid : 0;
}

UucpLock take_uucp_lock(const std::string& device) {
    UucpLock result;
    std::string path = lock_file_path(device);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::error_code e = create_lock(path);
        if (!e) {
            result.path = path;
            return result;
        }
        if (e.value() != EEXIST) return result;  // no lock folder we may write: flock only
        pid_t pid = lock_file_pid(path);
        // Our own PID: a lock this process left; the flock we hold says the line is ours.
        if (pid != getpid() && process_alive(pid)) {
            result.holder = pid;
            result.error = {EBUSY, std::generic_category()};
            return result;
        }
        ::unlink(path.c_str());  // stale: its process is gone
    }
    return result;
}

void drop_uucp_lock(const std::string& lock_path) {
    if (lock_path.empty()) return;
    if (lock_file_pid(lock_path) == getpid()) ::unlink(lock_path.c_str());
}

std::string describe_process(pid_t pid) {
    std::string text = "PID " + std::to_string(pid);
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r");
    if (!f) return text;
    char name[64] = {};
    if (std::fgets(name, sizeof name, f)) {
        std::string n = name;
        while (!n.empty() && (n.back() == '\n' || n.back() == ' ')) n.pop_back();
        if (!n.empty()) text = n + ", " + text;
    }
    std::fclose(f);
    return text;
}

pid_t find_device_holder(const std::string& device) {
    std::string target = real_path(device);
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    pid_t found = 0;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == getpid()) continue;
        std::string fd_dir = std::string("/proc/") + e->d_name + "/fd";
        DIR* fds = opendir(fd_dir.c_str());
        if (!fds) continue;  // another user's process
        while (dirent* f = readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            char link[PATH_MAX];
            ssize_t n = readlink((fd_dir + "/" + f->d_name).c_str(), link, sizeof link - 1);
            if (n > 0 && target.compare(0, std::string::npos, link, static_cast<size_t>(n)) == 0) {
                found = static_cast<pid_t>(pid);
                break;
            }
        }
        closedir(fds);
        if (found) break;
    }
    closedir(proc);
    return found;
}

}  // namespace kc::posix
