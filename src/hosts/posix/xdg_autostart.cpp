// Platform layer (Linux): the XDG autostart entry.
#include "hosts/posix/xdg_autostart.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "storage/safe_file.h"

namespace kc {
namespace {

// A string value: backslash, new line and a leading blank have escapes.
std::string escape_value(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == ' ' && i == 0) out += "\\s";
        else out += c;
    }
    return out;
}

// One Exec argument: quoted when it holds a reserved character, with ", `, $ and \
// escaped inside the quotes; % doubled. The string escapes come on top.
std::string exec_argument(const std::string& arg) {
    const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted;
    if (arg.find_first_of(reserved) == std::string::npos) {
        quoted = arg;
    } else {
        quoted = "\"";
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    std::string out;
    for (char c : quoted) out += c == '%' ? std::string("%%") : std::string(1, c);
    return escape_value(out);
}

class XdgAutostart : public Autostart {
public:
    XdgAutostart(AutostartLaunch launch, std::string app_id) : launch_(std::move(launch)), app_id_(std::move(app_id)) {}

    // An entry the desktop's session settings switched off does not start the program.
    bool is_set() override {
        std::ifstream in(where());
        if (!in) return false;
        for (std::string line; std::getline(in, line);)
            if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
        return true;
    }

    std::error_code set(bool on) override {
        const std::filesystem::path path = where();
        std::error_code error;
        if (!on) {
            std::filesystem::remove(path, error);
            return error;
        }
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) return error;
        return write_file_replacing(path.string(), autostart_entry_text(launch_, app_id_), true);
    }

    std::string where() override { return autostart_entry_path(app_id_); }

private:
    AutostartLaunch launch_;
    std::string app_id_;
};

}  // namespace

AutostartLaunch choose_autostart_launch(const std::string& running, const std::string& installed_binary,
                                        const std::string& launcher, const std::string& current_folder) {
    std::error_code error;
    if (!running.empty() && running == installed_binary && std::filesystem::is_regular_file(launcher, error))
        return {launcher, ""};
    return {running, current_folder};
}

std::string running_binary() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

std::string autostart_entry_path(const std::string& app_id) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home ? home : "") / ".config";
    }
    return (base / "autostart" / (app_id + ".desktop")).string();
}

std::string autostart_entry_text(const AutostartLaunch& launch, const std::string& app_id) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Kavor Cen\n"
        "Comment=Starts Kavor Cen at login (Ustawienia, Praca bez obsługi)\n"
        "Comment[pl]=Uruchamia Kavor Cen przy logowaniu (Ustawienia, Praca bez obsługi)\n"
        "Exec=" + exec_argument(launch.program) + "\n";
    if (!launch.folder.empty()) text += "Path=" + escape_value(launch.folder) + "\n";
    text += "Icon=" + app_id + "\n"
            "Terminal=false\n"
            "X-GNOME-Autostart-enabled=true\n";
    return text;
}

std::shared_ptr<Autostart> make_xdg_autostart(AutostartLaunch launch, std::string app_id) {
    return std::make_shared<XdgAutostart>(std::move(launch), std::move(app_id));
}

}  // namespace kc
