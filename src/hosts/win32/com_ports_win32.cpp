// Platform layer (Win32): SetupAPI's COM ports and device notifications.
#include "hosts/win32/com_ports_win32.h"

#include <windows.h>
#include <dbt.h>
#include <devguid.h>
#include <setupapi.h>
// Last: it makes the DEFINE_GUID below a definition.
#include <initguid.h>

#include <future>
#include <mutex>
#include <set>
#include <thread>

namespace kc {
namespace {

// GUID_DEVINTERFACE_COMPORT, spelt out: mingw's ntddser.h is not always there.
DEFINE_GUID(kComPortInterface, 0x86E0D1E0, 0x8089, 0x11D0, 0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73);

std::string utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring registry_string(HKEY key, const wchar_t* name) {
    wchar_t value[256] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return value;
}

std::wstring device_property(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
    wchar_t value[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr, reinterpret_cast<BYTE*>(value),
                                           sizeof value - sizeof(wchar_t), nullptr))
        return {};
    return value;
}

// Every present device of one SetupAPI set that has a port name.
void add_devices(HDEVINFO set, std::vector<ComDevice>& out, std::set<std::string>& seen) {
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        wchar_t id[512] = {};
        if (!SetupDiGetDeviceInstanceIdW(set, &info, id, static_cast<DWORD>(std::size(id)), nullptr)) continue;
        ComDevice d;
        d.instance_id = utf8(id);
        if (!seen.insert(d.instance_id).second) continue;
        HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            d.port_name = utf8(registry_string(key, L"PortName"));
            RegCloseKey(key);
        }
        if (d.port_name.empty()) continue;
        d.friendly = utf8(device_property(set, info, SPDRP_FRIENDLYNAME));
        d.manufacturer = utf8(device_property(set, info, SPDRP_MFG));
        d.service = utf8(device_property(set, info, SPDRP_SERVICE));
        out.push_back(std::move(d));
    }
    SetupDiDestroyDeviceInfoList(set);
}

// Ports the serial drivers announce without a device SetupAPI knows (Wine's, some
// virtual ones): HARDWARE\DEVICEMAP\SERIALCOMM maps a driver's device to "COMn".
void add_serialcomm(std::vector<ComDevice>& out) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], value[64];
        DWORD name_size = static_cast<DWORD>(std::size(name)), value_size = sizeof value - sizeof(wchar_t), type = 0;
        LONG e = RegEnumValueW(key, i, name, &name_size, nullptr, &type, reinterpret_cast<BYTE*>(value), &value_size);
        if (e == ERROR_NO_MORE_ITEMS) break;
        if (e != ERROR_SUCCESS || type != REG_SZ) continue;
        value[value_size / sizeof(wchar_t)] = L'\0';
        std::string port = utf8(value);
        bool known = false;
        for (const ComDevice& d : out) known = known || _stricmp(d.port_name.c_str(), port.c_str()) == 0;
        if (!known) out.push_back(ComDevice{port, "", "", "", ""});
    }
    RegCloseKey(key);
}

constexpr wchar_t kWatchClass[] = L"KavorCenDeviceWatch";
constexpr UINT kStopWatch = WM_APP + 1;

LRESULT CALLBACK watch_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* changed = reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
        case WM_DEVICECHANGE:
            if (changed && (wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE)) (*changed)();
            return TRUE;
        case kStopWatch:
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

class Win32SetupApi : public SetupApi {
public:
    ~Win32SetupApi() override { watch({}); }

    std::vector<ComDevice> com_devices() override {
        std::vector<ComDevice> out;
        std::set<std::string> seen;
        add_devices(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT), out, seen);
        add_devices(SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
                    out, seen);
        add_serialcomm(out);
        return out;
    }

    // A hidden window of the watch's own thread gets the COM port interface's arrivals
    // and removals.
    void watch(std::function<void()> changed) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (thread_.joinable()) {
            PostMessageW(window_, kStopWatch, 0, 0);
            thread_.join();
            window_ = nullptr;
        }
        if (!changed) return;
        std::promise<HWND> ready;
        std::future<HWND> window = ready.get_future();
        thread_ = std::thread([changed = std::move(changed), ready = std::move(ready)]() mutable {
            HINSTANCE instance = GetModuleHandleW(nullptr);
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = watch_proc;
            wc.hInstance = instance;
            wc.lpszClassName = kWatchClass;
            RegisterClassExW(&wc);  // fails harmlessly when a second watch registers it again
            HWND hwnd = CreateWindowExW(0, kWatchClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
            ready.set_value(hwnd);
            if (!hwnd) return;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&changed));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = kComPortInterface;
            HDEVNOTIFY note = RegisterDeviceNotificationW(hwnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            if (note) UnregisterDeviceNotification(note);
        });
        window_ = window.get();
        if (!window_) thread_.join();  // no window: the connection's own retries still find the device
    }

private:
    std::mutex mutex_;
    std::thread thread_;
    HWND window_ = nullptr;
};

}  // namespace

std::shared_ptr<SetupApi> make_win32_setupapi() { return std::make_shared<Win32SetupApi>(); }

std::shared_ptr<PortDiscovery> make_win32_discovery(Program& p) {
    return std::make_shared<ComPortDiscovery>(p, make_win32_setupapi());
}

}  // namespace kc
