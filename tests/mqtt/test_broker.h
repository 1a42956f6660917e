// Tests (head office link): a real Mosquitto broker of the test's own, on 127.0.0.1
// only, at a free port, with TLS from a CA and a server certificate made here
// (openssl), a password file (mosquitto_passwd) and the ACL of the README.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace kc::test {

// The first of `names` that is an executable file (a bare name is looked up on PATH).
inline std::string find_program(const std::vector<std::string>& names) {
    for (const std::string& n : names) {
        if (n.find('/') != std::string::npos) {
            if (::access(n.c_str(), X_OK) == 0) return n;
            continue;
        }
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/bin:/bin";
        size_t start = 0;
        while (start <= dirs.size()) {
            size_t end = dirs.find(':', start);
            if (end == std::string::npos) end = dirs.size();
            std::string candidate = dirs.substr(start, end - start) + "/" + n;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
            start = end + 1;
        }
    }
    return "";
}

// Runs a shell command quietly; true when it exited 0.
inline bool run_quiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// A port on 127.0.0.1 that nothing listens on now.
inline int free_loopback_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

inline bool port_accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

class TestBroker {
public:
    // Users: "centrala" (head office) and each of `stations`, all with password "<user>-pw".
    explicit TestBroker(std::filesystem::path dir, std::vector<std::string> stations)
        : dir_(std::move(dir)), stations_(std::move(stations)) {}
    ~TestBroker() { stop(); }

    // Makes the certificates, password file, ACL and configuration, and starts the broker.
    // Empty on success, else what failed.
    std::string start() {
        namespace fs = std::filesystem;
        fs::create_directories(dir_);
        mosquitto_ = find_program({"mosquitto", "/usr/sbin/mosquitto"});
        const std::string passwd_tool = find_program({"mosquitto_passwd"});
        const std::string openssl = find_program({"openssl"});
        if (mosquitto_.empty() || passwd_tool.empty() || openssl.empty()) return "mosquitto, mosquitto_passwd or openssl missing";
        const std::string d = dir_.string() + "/";
        {
            std::ofstream ext(d + "server.ext");
            ext << "subjectAltName=IP:127.0.0.1,DNS:localhost\n";
        }
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        if (!run_quiet(openssl + " req -x509" + ec + " -keyout " + d + "ca.key -out " + d +
                       "ca.crt -days 2 -subj /CN=kavor-test-ca"))
            return "openssl: CA";
        if (!run_quiet(openssl + " req" + ec + " -keyout " + d + "server.key -out " + d + "server.csr -subj /CN=127.0.0.1"))
            return "openssl: server key";
        if (!run_quiet(openssl + " x509 -req -in " + d + "server.csr -CA " + d + "ca.crt -CAkey " + d +
                       "ca.key -CAcreateserial -out " + d + "server.crt -days 2 -extfile " + d + "server.ext"))
            return "openssl: server certificate";
        // A CA that signed nothing here: a station trusting it must refuse the broker.
        if (!run_quiet(openssl + " req -x509" + ec + " -keyout " + d + "other.key -out " + d +
                       "other-ca.crt -days 2 -subj /CN=someone-else"))
            return "openssl: other CA";
        std::vector<std::string> users = stations_;
        users.push_back("centrala");
        bool first = true;
        for (const std::string& u : users) {
            if (!run_quiet(passwd_tool + (first ? " -c" : "") + " -b " + d + "passwd " + u + " " + u + "-pw"))
                return "mosquitto_passwd";
            first = false;
            std::ofstream pw(d + u + ".pw");
            pw << u << "-pw\n";
            pw.close();
            ::chmod((d + u + ".pw").c_str(), 0600);
        }
        ::chmod((d + "passwd").c_str(), 0600);
        {
            std::ofstream acl(d + "acl");
            acl << "user centrala\ntopic readwrite kavorcen/#\n\n"
                << "pattern read kavorcen/%u/prices/set\n"
                << "pattern write kavorcen/%u/prices/result\n"
                << "pattern write kavorcen/%u/state\n"
                << "pattern write kavorcen/%u/status\n"
                << "pattern write kavorcen/%u/events\n";
        }
        port_ = free_loopback_port();
        const passwd* me = ::getpwuid(::getuid());
        {
            std::ofstream conf(d + "mosquitto.conf");
            conf << "per_listener_settings false\n"
                 << "allow_anonymous false\n"
                 << "password_file " << d << "passwd\n"
                 << "acl_file " << d << "acl\n"
                 << "persistence false\n"
                 << "log_dest file " << d << "mosquitto.log\n"
                 << "log_type error\nlog_type warning\nlog_type notice\n"
                 << (me ? std::string("user ") + me->pw_name + "\n" : "")
                 << "listener " << port_ << " 127.0.0.1\n"
                 << "cafile " << d << "ca.crt\n"
                 << "certfile " << d << "server.crt\n"
                 << "keyfile " << d << "server.key\n";
        }
        return launch();
    }

    // Stops the broker process (its sessions are lost with it).
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    pid_t pid() const { return pid_; }
    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    std::string ca() const { return file("ca.crt"); }
    std::string password_file(const std::string& user) const { return file(user + ".pw"); }

private:
    std::string launch() {
        const std::string conf = file("mosquitto.conf");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl(mosquitto_.c_str(), mosquitto_.c_str(), "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid_ < 0) return "fork";
        // A loaded machine under a sanitizer may take long to start it: wait generously.
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
             std::chrono::steady_clock::now() < end;) {
            if (port_accepts(port_)) return "";
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return "mosquitto exited; see " + file("mosquitto.log");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return "mosquitto did not listen on " + address();
    }

    std::filesystem::path dir_;
    std::vector<std::string> stations_;
    std::string mosquitto_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace kc::test
