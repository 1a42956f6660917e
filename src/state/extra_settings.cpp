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

int sign_watch_minutes_setting(const ExtraSettings& extra) {
    const std::string v = extra.get(extra_key::kSignWatchMinutes);
    if (v.empty() || v.size() > 4) return kSignWatchDefaultMinutes;
    int minutes = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return kSignWatchDefaultMinutes;
        minutes = minutes * 10 + (c - '0');
    }
    return minutes <= kSignWatchMaxMinutes ? minutes : kSignWatchDefaultMinutes;
}

int sign_watch_period_minutes(const ExtraSettings& extra) {
    return extra.get_bool(extra_key::kSignWatch, false) ? sign_watch_minutes_setting(extra) : 0;
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
