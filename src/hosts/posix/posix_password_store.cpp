// Platform layer (POSIX): the head-office password file.
#include "hosts/posix/posix_password_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "resources/texts.h"
#include "storage/safe_file.h"

namespace kc {
namespace {

constexpr mode_t kPrivate = S_IRUSR | S_IWUSR;
constexpr size_t kMaxRead = 4096;

}  // namespace

bool read_owner_only_secret(const std::string& path, std::string& secret, std::string& why) {
    // Opened first and checked on the open file, so what is checked is what is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat st = {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        why = fill(Txt::HoPasswordFileUnreadable, path);
        return false;
    }
    auto refuse = [&](Txt text) {
        ::close(fd);
        why = fill(text, path);
        return false;
    };
    // Like an ssh key: a password others can read is no secret, so it is not used.
    if (st.st_mode & (S_IRWXG | S_IRWXO)) return refuse(Txt::HoPasswordFileOpen);
    if (st.st_uid != ::geteuid()) return refuse(Txt::HoPasswordFileOwner);
    std::string text;
    char buffer[512];
    ssize_t n;
    while (text.size() < kMaxRead && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            return refuse(Txt::HoPasswordFileUnreadable);
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    // An empty file is a mistake, not "no password".
    if (line.empty()) {
        why = fill(Txt::HoPasswordFileEmpty, path);
        return false;
    }
    secret = line;
    return true;
}

bool PosixPasswordStore::save(const std::string& path, const std::string& password, std::string& why) {
    if (password.empty() || password.find_first_of("\r\n") != std::string::npos) {
        why = file_error_reason(std::make_error_code(std::errc::invalid_argument));
        return false;
    }
    // The safe write keeps the old file's mode: an old file others could read is closed
    // first, so the new password is never readable by them, not even for a moment.
    struct stat st = {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRWXG | S_IRWXO)) && ::chmod(path.c_str(), kPrivate) != 0) {
        why = file_error_reason(std::error_code(errno, std::generic_category()));
        return false;
    }
    if (std::error_code e = write_file_replacing(path, password + "\n", false)) {
        why = file_error_reason(e);
        return false;
    }
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) != kPrivate && ::chmod(path.c_str(), kPrivate) != 0) {
        why = file_error_reason(std::error_code(errno, std::generic_category()));
        return false;
    }
    return true;
}

bool PosixPasswordStore::load(const std::string& path, std::string& password, std::string& why) {
    return read_owner_only_secret(path, password, why);
}

std::shared_ptr<PasswordStore> make_posix_password_store() { return std::make_shared<PosixPasswordStore>(); }

}  // namespace kc
