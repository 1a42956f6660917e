// kavor-centrala watch: the line of one event.
#include "watch.h"

namespace kc::centrala {
namespace {

using nlohmann::json;

std::string text_of(const json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}

// A value between quotes on one line: nothing in it may end the line or the quotes.
std::string in_quotes(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' ? '\'' : (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? ' ' : c;
    return out + "\"";
}

// A word without blanks: one that has any is quoted.
std::string word(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) <= 0x20 || c == '"' || c == 0x7F) return in_quotes(s);
    return s.empty() ? "-" : s;
}

}  // namespace

std::string event_line(const std::string& station, const json& event) {
    std::string line = word(text_of(event, "time")) + " " + word(station) + " " + word(text_of(event, "event"));
    if (!text_of(event, "id").empty()) line += " id=" + word(text_of(event, "id"));
    if (auto it = event.find("fields"); it != event.end() && it->is_array() && !it->empty()) {
        line += " fields=";
        for (size_t i = 0; i < it->size(); ++i) line += (i ? "," : "") + (*it)[i].dump();
    }
    if (auto it = event.find("sign"); it != event.end() && it->is_object()) {
        const json prices = it->value("prices", json()), blink = it->value("blink", json());
        std::string shown;
        for (size_t i = 0; prices.is_array() && i < prices.size() && i < 5; ++i) {
            std::string p = prices[i].is_string() ? prices[i].get<std::string>() : "?";
            shown += (i ? " " : "") + (p.empty() ? "_" : p);
            if (blink.is_array() && i < blink.size() && blink[i].is_boolean() && blink[i].get<bool>()) shown += "*";
        }
        line += " sign=" + in_quotes(shown);
    }
    if (!text_of(event, "detail").empty()) line += " detail=" + in_quotes(text_of(event, "detail"));
    return line;
}

}  // namespace kc::centrala
