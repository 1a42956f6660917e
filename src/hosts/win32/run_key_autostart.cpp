// Platform layer (Win32): the start at login as a Run value of the current user.
#include "hosts/win32/run_key_autostart.h"

#include <windows.h>
#include <shellapi.h>

#include <system_error>

namespace kc {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::error_code win32_error(LONG e) { return std::error_code(static_cast<int>(e), std::system_category()); }

std::string utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

class RunKeyAutostart : public Autostart {
public:
    RunKeyAutostart(std::wstring name, std::wstring command) : name_(std::move(name)), command_(std::move(command)) {}

    bool is_set() override {
        return RegGetValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ |
                                                                           RRF_NOEXPAND, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }

    std::error_code set(bool on) override {
        HKEY key;
        LONG e = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        if (e != ERROR_SUCCESS) return win32_error(e);
        if (on) {
            e = RegSetValueExW(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command_.c_str()),
                               static_cast<DWORD>((command_.size() + 1) * sizeof(wchar_t)));
        } else {
            e = RegDeleteValueW(key, name_.c_str());
            if (e == ERROR_FILE_NOT_FOUND) e = ERROR_SUCCESS;  // nothing to remove
        }
        RegCloseKey(key);
        return e == ERROR_SUCCESS ? std::error_code() : win32_error(e);
    }

    std::string where() override { return "HKCU\\" + utf8(kRunKey) + "\\" + utf8(name_); }

private:
    std::wstring name_;
    std::wstring command_;
};

}  // namespace

std::wstring run_value_command(const std::wstring& program, bool installed, const std::wstring& current_folder) {
    std::wstring folder = installed ? L"%LOCALAPPDATA%\\KavorCen" : current_folder;
    // A quoted argument may not end in a backslash: it would escape the quote.
    while (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    return L"\"" + program + L"\" /folder \"" + folder + L"\"";
}

std::wstring folder_argument() {
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return {};
    std::wstring folder;
    for (int i = 1; i + 1 < count; ++i)
        if (_wcsicmp(args[i], L"/folder") == 0) folder = args[i + 1];
    LocalFree(args);
    if (folder.empty()) return {};
    wchar_t expanded[MAX_PATH * 2];
    DWORD n = ExpandEnvironmentStringsW(folder.c_str(), expanded, static_cast<DWORD>(std::size(expanded)));
    return n > 0 && n <= std::size(expanded) ? std::wstring(expanded) : folder;
}

std::shared_ptr<Autostart> make_run_key_autostart(std::wstring value_name, std::wstring command) {
    return std::make_shared<RunKeyAutostart>(std::move(value_name), std::move(command));
}

}  // namespace kc
