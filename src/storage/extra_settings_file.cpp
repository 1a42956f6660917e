#include "storage/extra_settings_file.h"

#include <fstream>
#include <sstream>

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
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#') continue;
        const auto eq = t.find('=');
        const std::string key = eq == std::string::npos ? "" : trim(t.substr(0, eq));
        if (key.empty()) {
            result.bad_lines.push_back(number);
            continue;
        }
        values[key] = trim(t.substr(eq + 1));
    }
    p.extra.replace_all(std::move(values));
    return result;
}

std::string extra_settings_text(const ExtraSettings& extra) {
    std::ostringstream out;
    out << "# Kavor Cen: ustawienia dodatkowe (klucz=wartosc), obok KavorCen.ini\n";
    for (const auto& [key, value] : extra.all()) out << key << '=' << value << '\n';
    return out.str();
}

std::error_code save_extra_settings(Program& p) {
    return write_file_replacing(extra_settings_path(p), extra_settings_text(p.extra), true);
}

}  // namespace kc
