// Head office link (MQTT host): the ids of changes already taken, kept in a small file
// so that a message the broker delivers again (QoS 1), even after a restart, is applied
// once. Bounded: the oldest ids drop out first. Any thread, but the file is written by
// the caller's thread: the link calls it from its own network thread only.
#pragma once
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace kc::mqtt {

inline constexpr const char* kSeenIdsName = "KavorCen-centrala.txt";

class SeenIds {
public:
    explicit SeenIds(std::string path, size_t capacity = 256) : path_(std::move(path)), capacity_(capacity) {}

    // Reads the file; a missing file is an empty list. Lines that are no "id;outcome"
    // with a valid id and a known outcome are skipped; their numbers (from 1) are returned.
    std::vector<size_t> load();
    // Records `id` as pending and returns true the first time; otherwise false and the
    // outcome recorded for it. `error` gets the write's result.
    bool first_time(const std::string& id, std::string& previous, std::error_code& error);
    std::error_code set_outcome(const std::string& id, const std::string& outcome);
    // Frees an id whose change was not taken after all.
    std::error_code forget(const std::string& id);
    size_t size() const;
    const std::string& path() const { return path_; }
    // The last write's error (the list itself is always up to date in memory).
    std::error_code last_error() const;

private:
    std::error_code save_locked();

    std::string path_;
    size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<std::pair<std::string, std::string>> ids_;  // oldest first
    std::error_code error_;
};

}  // namespace kc::mqtt
