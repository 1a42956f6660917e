// Head office link (MQTT host): the station's broker settings.
#include "hosts/mqtt/station_config.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cerrno>

#include "hosts/mqtt/messages.h"
#include "resources/texts.h"

namespace kc::mqtt {
namespace {

// A host name (letters, digits, '-', '.', '_') or an IPv4 address; in brackets an IPv6 one.
bool valid_host(const std::string& h, bool bracketed) {
    if (h.empty() || h.size() > 253) return false;
    for (char c : h) {
        const bool ok = bracketed ? (std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')
                                  : (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_');
        if (!ok) return false;
    }
    return !bracketed || h.find(':') != std::string::npos;
}

}  // namespace

bool parse_broker(const std::string& text, std::string& host, int& port) {
    std::string h = text, p;
    const bool bracketed = !h.empty() && h[0] == '[';
    if (bracketed) {
        size_t close = h.find(']');
        if (close == std::string::npos) return false;
        std::string rest = h.substr(close + 1);
        h = h.substr(1, close - 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            p = rest.substr(1);
        }
    } else if (size_t colon = h.rfind(':'); colon != std::string::npos) {
        p = h.substr(colon + 1);
        h = h.substr(0, colon);
        if (h.find(':') != std::string::npos) return false;  // a bare IPv6 address needs brackets
    }
    if (!valid_host(h, bracketed)) return false;
    port = kDefaultBrokerPort;
    if (!p.empty() || text.back() == ':') {
        if (p.empty() || p.size() > 5) return false;
        int v = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        if (v < 1 || v > 65535) return false;
        port = v;
    }
    host = h;
    return true;
}

#ifndef _WIN32
bool read_password_file(const std::string& path, std::string& password, std::string& problem) {
    // Opened first and checked on the open file, so what is checked is what is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    struct stat st = {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        problem = fill(txt(Txt::HoPasswordFileUnreadable), {path});
        return false;
    }
    auto refuse = [&](Txt text) {
        ::close(fd);
        problem = fill(txt(text), {path});
        return false;
    };
    // Like an ssh key: a password others can read is no secret, so it is not used.
    if (st.st_mode & (S_IRWXG | S_IRWXO)) return refuse(Txt::HoPasswordFileOpen);
    if (st.st_uid != ::geteuid()) return refuse(Txt::HoPasswordFileOwner);
    std::string text;
    char buffer[512];
    ssize_t n;
    while (text.size() < 4096 && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
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
        problem = fill(txt(Txt::HoPasswordFileEmpty), {path});
        return false;
    }
    password = line;
    return true;
}
#endif

StationConfig read_station_config(const ExtraSettings& extra, PasswordStore* passwords) {
    StationConfig c;
    c.broker = extra.get(extra_key::kHeadOfficeBroker);
    c.station = extra.get(extra_key::kHeadOfficeStation);
    c.configured = !c.broker.empty() && !c.station.empty();
    c.enabled = c.configured && extra.get_bool(extra_key::kHeadOffice, true);
    if (!c.enabled) return c;
    // Left empty it counts as left out, like the other keys.
    c.user = extra.get(extra_key::kHeadOfficeUser);
    if (c.user.empty()) c.user = c.station;
    c.ca_file = extra.get(extra_key::kHeadOfficeCaFile);
    if (!valid_station_id(c.station)) {
        c.problem = txt(Txt::HoBadStation);
    } else if (!parse_broker(c.broker, c.host, c.port)) {
        c.problem = txt(Txt::HoBadBroker);
    } else if (c.ca_file.empty()) {
        // Prices travel only encrypted, with the broker's certificate checked.
        c.problem = txt(Txt::HoNoCaFile);
    } else if (std::string file = extra.get(extra_key::kHeadOfficePasswordFile); !file.empty()) {
#ifdef _WIN32
        if (!passwords)
            c.problem = txt(Txt::HoPasswordNoStore);
        else if (passwords->load(file, c.password, c.problem) && c.password.empty())
            c.problem = fill(Txt::HoPasswordFileEmpty, file);
#else
        (void)passwords;
        read_password_file(file, c.password, c.problem);
#endif
    } else {
        c.password = extra.get(extra_key::kHeadOfficePassword);
    }
    return c;
}

}  // namespace kc::mqtt
