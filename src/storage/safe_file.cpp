#include "storage/safe_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

#include "platform/file_system.h"
#include "resources/texts.h"

namespace kc {
namespace {

namespace fs = std::filesystem;

// A name no other writer (this process or another) picks at the same time.
std::string fresh_suffix() {
    static const unsigned long long seed =
        std::random_device{}() ^ static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    static std::atomic<unsigned> counter{0};
    char b[40];
    std::snprintf(b, sizeof b, "%08llx%04x", seed & 0xffffffffULL, counter.fetch_add(1) & 0xffffu);
    return b;
}

// Where the bytes go: a link is followed to the file it names, so the link stays.
std::error_code resolve_links(fs::path& target) {
    std::error_code ec;
    for (int hops = 0; fs::is_symlink(target, ec); ++hops) {
        if (hops == 40) return std::make_error_code(std::errc::too_many_symbolic_link_levels);
        const fs::path to = fs::read_symlink(target, ec);
        if (ec) return ec;
        target = to.is_absolute() ? to : target.parent_path() / to;
    }
    return {};
}

}  // namespace

std::error_code write_file_replacing(const std::string& path, const std::string& bytes, bool text_mode) {
    fs::path target = path;
    if (std::error_code ec = resolve_links(target)) return ec;
    std::error_code ec;
    if (fs::is_directory(target, ec)) return std::make_error_code(std::errc::is_a_directory);
    const fs::file_status old = fs::status(target, ec);
    const bool replacing = !ec && fs::is_regular_file(old);
    const fs::path folder = target.parent_path();

    FileSystem& files = file_system();
    std::string tmp;
    std::error_code made;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tmp = (folder / ("." + target.filename().string() + "." + fresh_suffix() + ".tmp")).string();
        made = files.create_file(tmp, bytes, text_mode);
        if (made != std::errc::file_exists) break;
    }
    if (made) return made;
    if (replacing) {
        // Owner first: a change of owner may clear mode bits.
        files.copy_owner(target.string(), tmp);
        fs::permissions(tmp, old.permissions(), ec);
    }
    fs::rename(tmp, target, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(tmp, ignored);
        return {ec.value(), std::generic_category()};
    }
    files.sync_folder(folder.empty() ? std::string(".") : folder.string());
    return {};
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
