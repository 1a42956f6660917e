// Platform layer: the syntax of a broker address and a station id.
#include "platform/head_office_check.h"

namespace kc {
namespace {

bool is_alnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A host name (letters, digits, '-', '.', '_') or an IPv4 address; in brackets an IPv6 one.
bool valid_host(const std::string& h, bool bracketed) {
    if (h.empty() || h.size() > 253) return false;
    for (char c : h) {
        const bool ok = bracketed ? (is_hex(c) || c == ':' || c == '.') : (is_alnum(c) || c == '-' || c == '.' || c == '_');
        if (!ok) return false;
    }
    return !bracketed || h.find(':') != std::string::npos;
}

}  // namespace

bool parse_broker_address(const std::string& text, std::string& host, int& port) {
    if (text.empty()) return false;
    std::string h = text, p;
    const bool bracketed = h[0] == '[';
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
    int value = kDefaultBrokerPort;
    if (!p.empty() || text.back() == ':') {
        if (p.empty() || p.size() > 5) return false;
        value = 0;
        for (char c : p) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535) return false;
    }
    host = h;
    port = value;
    return true;
}

bool station_id_ok(const std::string& station) {
    if (station.empty() || station.size() > 64) return false;
    for (char c : station)
        if (!is_alnum(c) && c != '_' && c != '-') return false;
    return true;
}

}  // namespace kc
