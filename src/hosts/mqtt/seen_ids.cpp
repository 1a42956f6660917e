// Head office link (MQTT host): the ids of changes already taken.
#include "hosts/mqtt/seen_ids.h"

#include <algorithm>
#include <fstream>

#include "hosts/mqtt/messages.h"
#include "platform/head_office.h"
#include "storage/safe_file.h"

namespace kc::mqtt {

std::vector<size_t> SeenIds::load() {
    std::lock_guard lock(mutex_);
    ids_.clear();
    std::vector<size_t> skipped;
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    size_t number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        // "id;outcome"; an id may hold ';', an outcome never does. Only words this
        // program writes are taken back: anything else would go out in a "duplicate".
        size_t cut = line.rfind(';');
        if (cut == std::string::npos || !valid_change_id(line.substr(0, cut)) ||
            !known_central_word(line.substr(cut + 1))) {
            skipped.push_back(number);
            continue;
        }
        ids_.emplace_back(line.substr(0, cut), line.substr(cut + 1));
    }
    while (ids_.size() > capacity_) ids_.pop_front();
    return skipped;
}

bool SeenIds::first_time(const std::string& id, std::string& previous, std::error_code& error) {
    std::lock_guard lock(mutex_);
    for (const auto& [seen, outcome] : ids_)
        if (seen == id) {
            previous = outcome;
            return false;
        }
    ids_.emplace_back(id, central_word::kPending);
    while (ids_.size() > capacity_) ids_.pop_front();
    error = save_locked();
    return true;
}

std::error_code SeenIds::set_outcome(const std::string& id, const std::string& outcome) {
    std::lock_guard lock(mutex_);
    for (auto& [seen, o] : ids_)
        if (seen == id) {
            if (o == outcome) return {};
            o = outcome;
            return save_locked();
        }
    return {};
}

std::error_code SeenIds::forget(const std::string& id) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(ids_.begin(), ids_.end(), [&](const auto& e) { return e.first == id; });
    if (it == ids_.end()) return {};
    ids_.erase(it);
    return save_locked();
}

size_t SeenIds::size() const {
    std::lock_guard lock(mutex_);
    return ids_.size();
}

std::error_code SeenIds::last_error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::error_code SeenIds::save_locked() {
    std::string text;
    for (const auto& [id, outcome] : ids_) text += id + ";" + outcome + "\n";
    error_ = write_file_replacing(path_, text, false);
    return error_;
}

}  // namespace kc::mqtt
