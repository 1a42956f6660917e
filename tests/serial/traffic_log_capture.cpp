// Tests (serial link): the traffic log stand-in. Linked before the storage library,
// these definitions take the place of the real log appends.
#include "serial/traffic_log_capture.h"

#include <mutex>

#include "storage/logs.h"

namespace kc {

namespace {
std::mutex g_mutex;
std::vector<test::TrafficRecord> g_records;
}  // namespace

void log_traffic_block(Program&, const uint8_t* bytes, size_t length) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.push_back({false, std::string(reinterpret_cast<const char*>(bytes), length)});
}

void log_traffic_text(Program&, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.push_back({true, text});
}

namespace test {

std::vector<TrafficRecord> traffic_records() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_records;
}

void clear_traffic_records() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.clear();
}

}  // namespace test
}  // namespace kc
