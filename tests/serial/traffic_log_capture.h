// Tests (serial link): stands in for the traffic log so that tests see each record
// the block reader and writer append, in order, without files.
#pragma once
#include <string>
#include <vector>

namespace kc::test {

struct TrafficRecord {
    bool is_text;       // log_traffic_text rather than log_traffic_block
    std::string bytes;  // the text, or the block's bytes
    bool operator==(const TrafficRecord&) const = default;
};

std::vector<TrafficRecord> traffic_records();
void clear_traffic_records();

inline TrafficRecord text_record(const std::string& s) { return {true, s}; }
inline TrafficRecord block_record(const std::string& s) { return {false, s}; }

}  // namespace kc::test
