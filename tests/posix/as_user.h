// Tests (POSIX): running a piece of a test as an ordinary user, in a child process.
// As root the test creates the user "kavorcen-test" once; otherwise the current user
// is already ordinary.
#pragma once
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

namespace kc::test {

struct OrdinaryUser {
    uid_t uid;
    gid_t gid;
    std::string name;
};

// The ordinary user to run as, or nothing when there is none to be had.
inline std::optional<OrdinaryUser> ordinary_user() {
    if (getuid() != 0) {
        passwd* pw = getpwuid(getuid());
        return OrdinaryUser{getuid(), getgid(), pw ? pw->pw_name : ""};
    }
    const char* name = "kavorcen-test";
    if (!getpwnam(name) && std::system("useradd -M -N -g users kavorcen-test >/dev/null 2>&1") != 0) return {};
    passwd* pw = getpwnam(name);
    if (!pw) return {};
    return OrdinaryUser{pw->pw_uid, pw->pw_gid, name};
}

// Runs `work` as `user` in a child and returns what it returned ("" when it crashed).
inline std::string run_as(const OrdinaryUser& user, const std::function<std::string()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    pid_t pid = fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string out = "setuid failed";
        if (getuid() != 0 || (setgroups(0, nullptr) == 0 && setgid(user.gid) == 0 && setuid(user.uid) == 0))
            out = work();
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        _exit(0);
    }
    ::close(fds[1]);
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) got.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got;
}

}  // namespace kc::test
