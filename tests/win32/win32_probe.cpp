// The Windows host's system parts run by hand under Wine (run_wine_tests.sh):
//   kc_win32_probe ports           one line per COM port: "COM1<TAB>friendly<TAB>instance id"
//   kc_win32_probe autostart on    writes the Run value (off removes it; state prints 1 or 0)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "hosts/win32/com_ports_win32.h"
#include "hosts/win32/run_key_autostart.h"

int main(int argc, char** argv) {
    using namespace kc;
    if (argc == 2 && std::strcmp(argv[1], "ports") == 0) {
        for (const ComDevice& d : make_win32_setupapi()->com_devices())
            std::printf("%s\t%s\t%s\n", d.port_name.c_str(), d.friendly.c_str(), d.instance_id.c_str());
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "autostart") == 0) {
        wchar_t exe[1024] = {};
        GetModuleFileNameW(nullptr, exe, 1024);
        std::error_code e;
        auto a = make_run_key_autostart(L"KavorCen",
                                        run_value_command(exe, false, std::filesystem::current_path(e).wstring()));
        if (std::strcmp(argv[2], "state") == 0) {
            std::printf("%d\n", a->is_set() ? 1 : 0);
            return 0;
        }
        if (std::error_code r = a->set(std::strcmp(argv[2], "on") == 0)) {
            std::printf("%s: %s\n", a->where().c_str(), r.message().c_str());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "usage: kc_win32_probe ports | autostart on|off|state\n");
    return 2;
}
