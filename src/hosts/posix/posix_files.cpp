// Platform layer (POSIX): the safe write's system calls.
#include "hosts/posix/posix_files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kc::posix {
namespace {

std::error_code errno_code(int e) { return {e ? e : EIO, std::generic_category()}; }

class PosixFileSystem final : public FileSystem {
public:
    std::error_code create_file(const std::string& path, const std::string& bytes, bool) override {
        // O_EXCL fails on anything there, a dangling link too; 0600 whatever the umask.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return errno_code(errno);
        int err = 0;
        size_t done = 0;
        while (!err && done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) err = n < 0 ? errno : EIO;
            else done += static_cast<size_t>(n);
        }
        if (!err && ::fsync(fd) != 0) err = errno;
        if (::close(fd) != 0 && !err && errno != EINTR) err = errno;
        if (!err) return {};
        ::unlink(path.c_str());
        return errno_code(err);
    }

    void copy_owner(const std::string& like, const std::string& path) override {
        struct stat st;
        if (::stat(like.c_str(), &st) != 0) return;
        // Only root may give a file away; a group of ours is allowed to anyone.
        if (::chown(path.c_str(), st.st_uid, st.st_gid) != 0) (void)!::chown(path.c_str(), static_cast<uid_t>(-1), st.st_gid);
    }

    void sync_folder(const std::string& folder) override {
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        ::fsync(fd);
        ::close(fd);
    }

    bool others_may_read(const std::string& path) override {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
    }
};

}  // namespace

FileSystem& posix_file_system() {
    static PosixFileSystem files;
    return files;
}

}  // namespace kc::posix
