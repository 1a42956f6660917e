// Platform layer (Win32): the program's entry point. It joins the Win32 host, the
// system clock, the Win32 serial backend, the password store and, where it is built
// in, the head-office link to the core and starts it.
#include <windows.h>

#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "hosts/win32/com_ports_win32.h"
#include "hosts/win32/dpapi_password_store.h"
#include "hosts/win32/run_key_autostart.h"
#include "hosts/win32/system_clock.h"
#include "hosts/win32/ui_host.h"
#include "hosts/win32/win32_services.h"
#include "state/state.h"
#ifdef KC_WITH_MQTT
#include "hosts/mqtt/connection_check.h"
#include "hosts/mqtt/mqtt_station.h"
#endif

namespace {

// KavorCen.ini and the logs live in the current folder. The installed program (its
// uninstaller beside it) started in its own folder, as the Start-menu shortcut and
// Explorer start it, takes the data folder of whoever runs it instead: Program Files
// is not writable and is shared by every account. A portable copy, or a start from a
// shell elsewhere, keeps the current folder. "/folder DIR" (the start at login gives
// it) names the folder outright.
void choose_data_folder() {
    std::error_code e;
    if (std::wstring asked = kc::folder_argument(); !asked.empty()) {
        std::filesystem::create_directories(asked, e);
        std::filesystem::current_path(asked, e);
        return;
    }
    wchar_t exe[MAX_PATH * 2] = {};
    if (!GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)))) return;
    const std::filesystem::path exe_folder = std::filesystem::path(exe).parent_path();
    std::filesystem::path here = std::filesystem::current_path(e);
    if (e || !std::filesystem::equivalent(here, exe_folder, e)) return;
    if (!std::filesystem::exists(exe_folder / L"uninstall.exe", e)) return;
    wchar_t local[MAX_PATH * 2] = {};
    if (!GetEnvironmentVariableW(L"LOCALAPPDATA", local, static_cast<DWORD>(std::size(local)))) return;
    std::filesystem::path data = std::filesystem::path(local) / L"KavorCen";
    std::filesystem::create_directories(data, e);
    std::filesystem::current_path(data, e);
}

// An installed copy has its uninstaller beside it.
bool installed_copy(const std::filesystem::path& exe) {
    std::error_code e;
    return std::filesystem::exists(exe.parent_path() / L"uninstall.exe", e);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    choose_data_folder();
    kc::Win32Host host(instance);
    kc::Win32Clock clock;
    // The program-wide state is large (slot table, script buffer): keep it off the stack.
    auto program = std::make_unique<kc::Program>();
    kc::Program& p = *program;
    p.ui = &host;
    p.clock = &clock;
    kc::use_win32_serial(p);
    p.discovery = kc::make_win32_discovery(p);
    wchar_t exe[MAX_PATH * 2] = {};
    if (GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)))) {
        std::error_code e;
        p.autostart = kc::make_run_key_autostart(
            L"KavorCen", kc::run_value_command(exe, installed_copy(exe), std::filesystem::current_path(e).wstring()));
    }
    p.passwords = std::make_shared<kc::DpapiPasswordStore>();
#ifdef KC_WITH_MQTT
    p.check_head_office = [](const kc::HeadOfficeCheckRequest& request, const std::atomic<bool>& cancel) {
        return kc::mqtt::check_connection(request, cancel);
    };
    // Head office's broker, when the extra settings file names one; made again when the
    // "Centrala" dialog changes the settings.
    return kc::run_program(p, [](kc::Program& program) {
        return kc::mqtt::make_station_link(program.extra, program.state.work_directory, program.passwords.get());
    });
#else
    return kc::run_program(p);
#endif
}
