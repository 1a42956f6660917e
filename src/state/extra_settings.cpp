#include "state/extra_settings.h"

namespace kc {

std::string ExtraSettings::get(const std::string& key, const std::string& fallback) const {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    return it == values_.end() ? fallback : it->second;
}

bool ExtraSettings::get_bool(const std::string& key, bool fallback) const {
    const std::string v = get(key);
    if (v == "1" || v == "tak" || v == "true" || v == "on") return true;
    if (v == "0" || v == "nie" || v == "false" || v == "off") return false;
    return fallback;
}

void ExtraSettings::set(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

void ExtraSettings::erase(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

std::map<std::string, std::string> ExtraSettings::all() const {
    std::lock_guard lock(mutex_);
    return values_;
}

void ExtraSettings::replace_all(std::map<std::string, std::string> values) {
    std::lock_guard lock(mutex_);
    values_ = std::move(values);
}

std::vector<std::string> ExtraSettings::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

void ExtraSettings::replace_all(std::map<std::string, std::string> values, std::vector<std::string> lines) {
    std::lock_guard lock(mutex_);
    values_ = std::move(values);
    lines_ = std::move(lines);
}

}  // namespace kc
