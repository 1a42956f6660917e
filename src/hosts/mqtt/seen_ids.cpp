// Head office link (MQTT host): the ids of changes already taken.
#include "hosts/mqtt/seen_ids.h"

#include <fstream>

#include "hosts/mqtt/messages.h"
#include "storage/safe_file.h"

namespace kc::mqtt {

void SeenIds::load() {
    std::lock_guard lock(mutex_);
    ids_.clear();
    std::ifstream in(path_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "id;outcome"; an id may hold ';', an outcome never does.
        size_t cut = line.rfind(';');
        if (cut == std::string::npos) continue;
        std::string id = line.substr(0, cut);
        if (!valid_change_id(id)) continue;
        ids_.emplace_back(id, line.substr(cut + 1));
    }
    while (ids_.size() > capacity_) ids_.pop_front();
}

bool SeenIds::first_time(const std::string& id, std::string& previous) {
    std::lock_guard lock(mutex_);
    for (const auto& [seen, outcome] : ids_)
        if (seen == id) {
            previous = outcome;
            return false;
        }
    ids_.emplace_back(id, "pending");
    while (ids_.size() > capacity_) ids_.pop_front();
    save_locked();
    return true;
}

void SeenIds::set_outcome(const std::string& id, const std::string& outcome) {
    std::lock_guard lock(mutex_);
    for (auto& [seen, o] : ids_)
        if (seen == id) {
            if (o == outcome) return;
            o = outcome;
            save_locked();
            return;
        }
}

size_t SeenIds::size() const {
    std::lock_guard lock(mutex_);
    return ids_.size();
}

std::error_code SeenIds::last_error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void SeenIds::save_locked() {
    std::string text;
    for (const auto& [id, outcome] : ids_) text += id + ";" + outcome + "\n";
    error_ = write_file_replacing(path_, text, false);
}

}  // namespace kc::mqtt
