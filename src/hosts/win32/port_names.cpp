// Platform layer (Win32): friendly names of the serial ports through SetupAPI.
#include "hosts/win32/port_names.h"

#include <windows.h>
#include <devguid.h>
#include <setupapi.h>

#include "text/cp1250.h"

namespace kc {

namespace {

std::wstring registry_string(HKEY key, const wchar_t* name) {
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return value;
}

}  // namespace

std::string describe_win32_port(int n) {
    const std::wstring wanted = L"COM" + std::to_wstring(n);
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return {};
    std::wstring friendly;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; friendly.empty() && SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        bool match = _wcsicmp(registry_string(key, L"PortName").c_str(), wanted.c_str()) == 0;
        RegCloseKey(key);
        if (!match) continue;
        wchar_t name[256] = {};
        if (SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(name),
                                              sizeof name - sizeof(wchar_t), nullptr))
            friendly = name;
    }
    SetupDiDestroyDeviceInfoList(set);

    // "USB Serial Port (COM3)" → "USB Serial Port": the list shows the port name already.
    const std::wstring suffix = L" (" + wanted + L")";
    if (friendly.size() > suffix.size() &&
        _wcsicmp(friendly.c_str() + friendly.size() - suffix.size(), suffix.c_str()) == 0)
        friendly.resize(friendly.size() - suffix.size());
    return utf16_to_cp1250(std::u16string(friendly.begin(), friendly.end()));
}

}  // namespace kc
