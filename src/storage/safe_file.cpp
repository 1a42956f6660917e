#include "storage/safe_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "resources/texts.h"

namespace kc {

std::error_code write_file_replacing(const std::string& path, const std::string& bytes, bool text_mode) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) return std::make_error_code(std::errc::is_a_directory);
    const std::string tmp = path + ".tmp";
    errno = 0;
    FILE* f = std::fopen(tmp.c_str(), text_mode ? "w" : "wb");
    if (!f) return std::error_code(errno ? errno : EIO, std::generic_category());
    int err = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) err = errno ? errno : EIO;
    if (!err && std::fflush(f) != 0) err = errno ? errno : EIO;
    if (std::fclose(f) != 0 && !err) err = errno ? errno : EIO;
    if (!err) {
        fs::rename(tmp, path, ec);
        if (!ec) return {};
        err = ec.value();
    }
    std::error_code ignored;
    fs::remove(tmp, ignored);
    return std::error_code(err, std::generic_category());
}

std::string file_error_reason(const std::error_code& ec) {
    if (ec == std::errc::read_only_file_system) return txt(Txt::FileErrReadOnly);
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)
        return txt(Txt::FileErrNoPermission);
    if (ec == std::errc::no_space_on_device) return txt(Txt::FileErrDiskFull);
#ifdef EDQUOT
    if (ec.value() == EDQUOT) return txt(Txt::FileErrDiskFull);
#endif
    if (ec == std::errc::is_a_directory) return txt(Txt::FileErrIsFolder);
    return txt(Txt::FileErrOther) + " (" + ec.message() + ")";
}

}  // namespace kc
