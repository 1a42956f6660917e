#include "storage/extra_settings_file.h"

#include <fstream>
#include <sstream>

#include "platform/file_system.h"
#include "storage/safe_file.h"
#include "storage/work_path.h"

namespace kc {
namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// The key of a "key=value" line; "" for a comment, a blank or a line not understood.
std::string line_key(const std::string& line, std::string* value = nullptr) {
    const std::string t = trim(line);
    if (t.empty() || t[0] == '#') return "";
    const auto eq = t.find('=');
    if (eq == std::string::npos) return "";
    if (value) *value = trim(t.substr(eq + 1));
    return trim(t.substr(0, eq));
}

}  // namespace

std::string extra_settings_path(const Program& p) {
    return work_file_path(p, kExtraSettingsName);
}

ExtraLoadResult load_extra_settings(Program& p) {
    ExtraLoadResult result;
    std::ifstream in(extra_settings_path(p), std::ios::binary);
    if (!in) return result;
    result.found = true;
    std::map<std::string, std::string> values;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        std::string value;
        const std::string key = line_key(line, &value);
        if (key.empty())
            result.bad_lines.push_back(static_cast<int>(lines.size()));
        else
            values[key] = value;
    }
    // Like the password file: a password others can read is no secret.
    const auto password = values.find(extra_key::kHeadOfficePassword);
    result.password_exposed = password != values.end() && !password->second.empty() &&
                              file_system().others_may_read(extra_settings_path(p));
    p.extra.replace_all(std::move(values), std::move(lines));
    return result;
}

std::string extra_settings_text(const ExtraSettings& extra) {
    std::map<std::string, std::string> values = extra.all();
    const std::vector<std::string> lines = extra.lines();
    std::ostringstream out;
    if (lines.empty()) out << "# Kavor Cen: ustawienia dodatkowe (klucz=wartosc), obok KavorCen.ini\n";
    // Every line read stays where it was: a key line with its value now (dropped when
    // the key was erased), untouched when that value did not change.
    std::map<std::string, bool> written;
    for (const std::string& line : lines) {
        std::string value;
        const std::string key = line_key(line, &value);
        if (key.empty()) {
            out << line << '\n';
            continue;
        }
        const auto it = values.find(key);
        if (it == values.end()) continue;
        if (it->second == value)
            out << line << '\n';
        else
            out << key << '=' << it->second << '\n';
        written[key] = true;
    }
    for (const auto& [key, value] : values)
        if (!written.count(key)) out << key << '=' << value << '\n';
    return out.str();
}

std::error_code save_extra_settings(Program& p) {
    return write_file_replacing(extra_settings_path(p), extra_settings_text(p.extra), true);
}

}  // namespace kc
