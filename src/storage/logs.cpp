// Persistence: the traffic, statistics and measurement logs and their rotation.
#include "storage/logs.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "resources/texts.h"
#include "storage/file_report.h"
#include "storage/safe_file.h"
#include "storage/work_path.h"
#include "text/cp1250.h"

namespace kc {
namespace {

std::string log_path(const Program& p, const char* name) { return work_file_path(p, name); }

struct LogNames {
    const char* current;
    const char* rotated;
    int index;  // its flag in log_failure_told
};

constexpr LogNames kTrafficLog{"KavorCb.pod", "KavorCb.po1", 0};
constexpr LogNames kStatisticsLog{"KavorCs.pod", "KavorCs.po1", 1};
constexpr LogNames kTemperatureLog{"KavorTemp.pod", "KavorTemp.po1", 2};
constexpr LogNames kLightLog{"KavorSw.pod", "KavorSw.po1", 3};
constexpr LogNames kDisplayLightLog{"KavorSwR.pod", "KavorSwR.po1", 4};

// A record that could not be written is told once per log and run; later records
// are still tried.
void log_failed(Program& p, const LogNames& names, int error) {
    if (p.state.log_failure_told[names.index].exchange(true)) return;
    std::error_code e(error ? error : EIO, std::generic_category());
    const std::string path = log_path(p, names.current);
    tell_write_failure(p, path, e, format_text(txt(Txt::ConnLogFailed), shown_path(path), file_error_reason(e)));
}

// Rotates the log and opens its current file for appending; null when that fails.
FILE* open_log(Program& p, const LogNames& names, const char* mode) {
    std::string current = log_path(p, names.current);
    rotate_log(current, log_path(p, names.rotated));
    errno = 0;
    FILE* f = std::fopen(current.c_str(), mode);
    if (!f) log_failed(p, names, errno);
    return f;
}

// Closes the log; a write or the close that failed (a full disk) is told.
void close_log(Program& p, const LogNames& names, FILE* f) {
    int error = std::ferror(f) ? (errno ? errno : EIO) : 0;
    errno = 0;
    if (std::fclose(f) != 0 && !error) error = errno ? errno : EIO;
    if (error) log_failed(p, names, error);
}

std::string date_and_time(Clock& clock) {
    LocalTime t = clock.local_time();
    return log_date(t) + " " + log_time(t);
}

void write_measurement(Program& p, const LogNames& names, int width, const char* text) {
    if (!p.clock) return;
    FILE* f = open_log(p, names, "a");
    if (!f) return;
    std::fprintf(f, "%s %*s\n", date_and_time(*p.clock).c_str(), width, text ? text : "");
    close_log(p, names, f);
}

}  // namespace

std::string log_date(const LocalTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", t.day, t.month, ((t.year % 100) + 100) % 100);
    return buf;
}

std::string log_time(const LocalTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

void rotate_log(const std::string& current, const std::string& rotated) {
    // A file we cannot open (missing, or held by someone) is left alone, and so is the
    // older generation beside it.
    FILE* f = std::fopen(current.c_str(), "rb");
    if (!f) return;
    std::fclose(f);
    std::error_code ec;
    auto size = std::filesystem::file_size(current, ec);
    if (ec || size <= static_cast<std::uintmax_t>(kLogRotateLimit)) return;
    // Renamed over the older generation, which stays until the new one takes its place.
    std::filesystem::rename(current, rotated, ec);
}

void log_traffic_block(Program& p, const uint8_t* bytes, size_t length) {
    if (!get_record(p) || !p.clock) return;
    ProgramState& s = p.state;
    // One record at a time from every thread, so records never run into each other and
    // the header time and tick stay in step with the file.
    std::lock_guard<std::mutex> lock(s.traffic_log_mutex);
    FILE* f = open_log(p, kTrafficLog, "ab");
    if (!f) return;
    int64_t now = p.clock->calendar_seconds();
    if (now - s.last_log_header_time > 60) {
        s.last_log_header_time = now;
        std::fprintf(f, "\n %s\n", date_and_time(*p.clock).c_str());
    }
    uint32_t tick = p.clock->tick_ms();
    std::fprintf(f, "<%d>", static_cast<int32_t>(tick - s.last_log_tick));
    s.last_log_tick = tick;
    if (bytes && length) std::fwrite(bytes, 1, length, f);
    close_log(p, kTrafficLog, f);
}

void log_traffic_text(Program& p, const std::string& text) {
    log_traffic_block(p, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void log_statistics(Program& p) {
    if (!p.clock) return;
    FILE* f = open_log(p, kStatisticsLog, "ab");
    if (!f) return;
    std::fprintf(f, "%s\nilosc_transmisji = %d\nblad_transmisji = %d\nblad_crc = %d\n\n",
                 date_and_time(*p.clock).c_str(), p.state.ilosc_transmisji.load(), p.state.blad_transmisji.load(),
                 p.state.blad_crc.load());
    close_log(p, kStatisticsLog, f);
}

void log_temperature(Program& p, const char* text) { write_measurement(p, kTemperatureLog, 5, text); }
void log_light_level(Program& p, const char* text) { write_measurement(p, kLightLog, 3, text); }
void log_display_light_level(Program& p, const char* text) { write_measurement(p, kDisplayLightLog, 3, text); }

}  // namespace kc
