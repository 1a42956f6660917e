// Head office link (MQTT host): the station's broker settings.
#include "hosts/mqtt/station_config.h"

#include <sys/stat.h>

#include <fstream>

#include "hosts/mqtt/messages.h"
#include "resources/texts.h"

namespace kc::mqtt {
bool parse_broker(const std::string& text, std::string& host, int& port) {
    std::string h = text, p;
    if (!h.empty() && h[0] == '[') {
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
    if (h.empty()) return false;
    for (char c : h)
        if (c <= ' ' || c == '/' || c > '~') return false;
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

bool read_password_file(const std::string& path, std::string& password, std::string& problem) {
    struct stat st = {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = fill(txt(Txt::HoPasswordFileUnreadable), {path});
        return false;
    }
    // Like an ssh key: a password others can read is no secret, so it is not used.
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        problem = fill(txt(Txt::HoPasswordFileOpen), {path});
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line)) {
        if (!in.eof() || !line.empty()) {
            problem = fill(txt(Txt::HoPasswordFileUnreadable), {path});
            return false;
        }
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    password = line;
    return true;
}

StationConfig read_station_config(const ExtraSettings& extra) {
    StationConfig c;
    c.broker = extra.get(extra_key::kHeadOfficeBroker);
    c.station = extra.get(extra_key::kHeadOfficeStation);
    c.configured = !c.broker.empty() && !c.station.empty();
    c.enabled = c.configured && extra.get_bool(extra_key::kHeadOffice, true);
    if (!c.enabled) return c;
    c.user = extra.get(extra_key::kHeadOfficeUser, c.station);
    c.ca_file = extra.get(extra_key::kHeadOfficeCaFile);
    if (!valid_station_id(c.station)) {
        c.problem = txt(Txt::HoBadStation);
    } else if (!parse_broker(c.broker, c.host, c.port)) {
        c.problem = txt(Txt::HoBadBroker);
    } else if (c.ca_file.empty()) {
        // Prices travel only encrypted, with the broker's certificate checked.
        c.problem = txt(Txt::HoNoCaFile);
    } else if (std::string file = extra.get(extra_key::kHeadOfficePasswordFile); !file.empty()) {
        read_password_file(file, c.password, c.problem);
    } else {
        c.password = extra.get(extra_key::kHeadOfficePassword);
    }
    return c;
}

}  // namespace kc::mqtt
