// Head office link (MQTT host): the ids of changes already taken, kept in a small file
// so that a message the broker delivers again (QoS 1), even after a restart, is applied
// once. Bounded: the oldest ids drop out first. Any thread.
#pragma once
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

namespace kc::mqtt {

inline constexpr const char* kSeenIdsName = "KavorCen-centrala.txt";

class SeenIds {
public:
    explicit SeenIds(std::string path, size_t capacity = 256) : path_(std::move(path)), capacity_(capacity) {}

    // Reads the file; a missing file is an empty list, a bad line is skipped.
    void load();
    // Records `id` and returns true the first time; otherwise false and the outcome
    // recorded for it ("pending" until set_outcome).
    bool first_time(const std::string& id, std::string& previous);
    void set_outcome(const std::string& id, const std::string& outcome);
    size_t size() const;
    // The last write's error (the list itself is always up to date in memory).
    std::error_code last_error() const;

private:
    void save_locked();

    std::string path_;
    size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<std::pair<std::string, std::string>> ids_;  // oldest first
    std::error_code error_;
};

}  // namespace kc::mqtt
