// Platform layer (Win32): the head-office password under the user's data protection.
#include "hosts/win32/dpapi_password_store.h"

#include <windows.h>
#include <dpapi.h>

#include <fstream>
#include <iterator>

#include "resources/texts.h"
#include "storage/safe_file.h"

namespace kc {
namespace {

// Mixed into the key, so another program of this user cannot take the file for its own.
constexpr char kEntropy[] = "Kavor Cen: head office";
// A protected password of any sane length is far smaller.
constexpr size_t kMaxFile = 64 * 1024;
// Sealed before the password, so that what is sealed is never empty and a later
// format can be told apart.
constexpr char kFormat = '\x01';

// Points at `bytes`, which must outlive the blob.
DATA_BLOB blob_of(const std::string& bytes) {
    return DATA_BLOB{static_cast<DWORD>(bytes.size()), reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data()))};
}
DATA_BLOB entropy_blob() {
    return DATA_BLOB{sizeof kEntropy - 1, reinterpret_cast<BYTE*>(const_cast<char*>(kEntropy))};
}

// Takes the bytes out of a blob the system allocated, and frees it.
std::string take(DATA_BLOB& out) {
    std::string bytes(reinterpret_cast<const char*>(out.pbData), out.cbData);
    SecureZeroMemory(out.pbData, out.cbData);
    LocalFree(out.pbData);
    return bytes;
}

}  // namespace

bool DpapiPasswordStore::save(const std::string& path, const std::string& password, std::string& why) {
    std::string plain = kFormat + password;
    DATA_BLOB in = blob_of(plain);
    DATA_BLOB entropy = entropy_blob();
    DATA_BLOB out = {};
    const bool sealed_ok =
        CryptProtectData(&in, L"Kavor Cen", &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out);
    const DWORD error = GetLastError();
    SecureZeroMemory(plain.data(), plain.size());
    if (!sealed_ok) {
        why = fill(Txt::HoPasswordNotProtected, std::to_string(error));
        return false;
    }
    const std::string sealed = take(out);
    if (std::error_code ec = write_file_replacing(path, sealed, false)) {
        why = fill(Txt::HoPasswordNotSaved, path, file_error_reason(ec));
        return false;
    }
    return true;
}

bool DpapiPasswordStore::load(const std::string& path, std::string& password, std::string& why) {
    std::ifstream file(path, std::ios::binary);
    std::string sealed;
    if (file) sealed.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file.is_open() || file.bad() || sealed.size() > kMaxFile) {
        why = fill(Txt::HoPasswordFileUnreadable, path);
        return false;
    }
    if (sealed.empty()) {
        why = fill(Txt::HoPasswordFileEmpty, path);
        return false;
    }
    DATA_BLOB in = blob_of(sealed);
    DATA_BLOB entropy = entropy_blob();
    DATA_BLOB out = {};
    if (!CryptUnprotectData(&in, nullptr, &entropy, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) {
        // Sealed by another account or computer, or not sealed at all (a plain file).
        why = fill(Txt::HoPasswordOtherUser, path);
        return false;
    }
    std::string plain = take(out);
    if (plain.empty() || plain[0] != kFormat) {
        why = fill(Txt::HoPasswordOtherUser, path);
        return false;
    }
    password = plain.substr(1);
    SecureZeroMemory(plain.data(), plain.size());
    return true;
}

}  // namespace kc
