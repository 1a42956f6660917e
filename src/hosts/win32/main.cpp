// Platform layer (Win32): the program's entry point. It joins the Win32 host, the
// system clock and the Win32 serial backend to the core and starts it.
#include <windows.h>

#include <filesystem>
#include <memory>

#include "app/main_window.h"
#include "hosts/win32/system_clock.h"
#include "hosts/win32/ui_host.h"
#include "hosts/win32/win32_services.h"
#include "state/state.h"

namespace {

// KavorCen.ini and the logs live in the current folder. A start from Explorer leaves
// the program's own folder current, which a user cannot write under Program Files:
// then the per-user data folder is taken, as the installer's shortcut does.
void choose_data_folder() {
    wchar_t exe[MAX_PATH * 2] = {};
    if (!GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)))) return;
    std::error_code e;
    std::filesystem::path here = std::filesystem::current_path(e);
    if (e || !std::filesystem::equivalent(here, std::filesystem::path(exe).parent_path(), e)) return;
    wchar_t local[MAX_PATH * 2] = {};
    if (!GetEnvironmentVariableW(L"LOCALAPPDATA", local, static_cast<DWORD>(std::size(local)))) return;
    std::filesystem::path data = std::filesystem::path(local) / L"KavorCen";
    std::filesystem::create_directories(data, e);
    std::filesystem::current_path(data, e);
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
    return kc::run_program(p);
}
