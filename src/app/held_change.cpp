// Application core: the file of the change that waits for the sign.
#include "app/held_change.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>

#include "link/price_batch.h"
#include "resources/texts.h"

namespace kc {
namespace {

std::string seconds_text(int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    char date[32] = "";
    if (const std::tm* local = std::localtime(&t)) std::strftime(date, sizeof date, "%d.%m.%Y %H:%M:%S", local);
    return std::to_string(seconds) + " (" + date + ")";
}

// The leading number of "1765170000 (08.12.2026 06:00:00)".
bool read_seconds(const std::string& text, int64_t& seconds) {
    size_t end = 0;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    if (end == 0 || end > 18) return false;
    seconds = std::stoll(text.substr(0, end));
    return end == text.size() || text[end] == ' ';
}

bool known_reason(const std::string& reason) {
    return reason == "test_mode" || reason == "sign_disconnected" || reason == "script_running";
}

}  // namespace

std::string held_change_text(const HeldChange& held) {
    const CentralChange& c = held.change;
    std::string out = "# " + txt(Txt::HoHeldFileHeader) + "\n";
    out += "id=" + c.id + "\n";
    out += "reason=" + held.reason + "\n";
    out += "arrived=" + seconds_text(held.arrived) + "\n";
    if (c.has_at) out += "at=" + seconds_text(c.at) + "\n";
    for (size_t i = 0; i < c.set.prices.size(); ++i)
        out += "price" + std::to_string(i + 1) + "=\"" + c.set.prices[i] + "\"" + (c.set.blink[i] ? " blink" : "") + "\n";
    return out;
}

bool parse_held_change(const std::string& text, HeldChange& held) {
    std::map<std::string, std::string> values;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos || !values.emplace(line.substr(0, eq), line.substr(eq + 1)).second) return false;
    }
    HeldChange h;
    CentralChange& c = h.change;
    c.id = values["id"];
    h.reason = values["reason"];
    if (c.id.empty() || !known_reason(h.reason) || !read_seconds(values["arrived"], h.arrived)) return false;
    if (values.count("at")) {
        if (!read_seconds(values["at"], c.at)) return false;
        c.has_at = true;
    }
    for (size_t i = 0; i < c.set.prices.size(); ++i) {
        const std::string& v = values["price" + std::to_string(i + 1)];
        const size_t close = v.find('"', 1);
        if (v.size() < 2 || v[0] != '"' || close == std::string::npos) return false;
        const std::string rest = v.substr(close + 1);
        if (rest != "" && rest != " blink") return false;
        c.set.prices[i] = v.substr(1, close - 1);
        c.set.blink[i] = rest == " blink";
        if (!check_price_text(c.set.prices[i])) return false;
    }
    held = h;
    return true;
}

}  // namespace kc
