// Persistence tests: a fresh program in a temporary folder of its own.
#pragma once
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "state/state.h"
#include "hosts/headless/manual_clock.h"

namespace kc::test {

// A folder under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("kavorcen-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// A program whose main window has its record, working in `dir`. The program-wide state
// is large, so it lives on the heap.
inline std::unique_ptr<Program> make_program(const std::filesystem::path& dir, Clock* clock = nullptr) {
    auto p = std::make_unique<Program>();
    p->clock = clock;
    p->record = std::make_unique<MainRecord>();
    copy_text(p->state.work_directory, sizeof p->state.work_directory, dir.string().c_str());
    return p;
}

// The file's bytes. On Windows a text-mode file (every LF after a CR) reads with LF
// ends, so the same expectations hold on both systems; a binary log stays as it is.
inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
#ifdef _WIN32
    size_t lf = 0, crlf = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n') {
            ++lf;
            if (i > 0 && bytes[i - 1] == '\r') ++crlf;
        }
    if (lf > 0 && lf == crlf) {
        std::string text;
        for (size_t i = 0; i < bytes.size(); ++i)
            if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
        return text;
    }
#endif
    return bytes;
}

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kc::test
