// Settings that KavorCen.ini has no line for: a small key=value table kept beside it
// (see storage/extra_settings_file.h). Any thread may read or write it.
#pragma once
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kc {

class ExtraSettings {
public:
    // The value of `key`, or `fallback` when the key is absent.
    std::string get(const std::string& key, const std::string& fallback = "") const;
    // "1", "tak", "true", "on" are true, "0", "nie", "false", "off" false; anything else
    // (or nothing) gives `fallback`.
    bool get_bool(const std::string& key, bool fallback) const;
    void set(const std::string& key, const std::string& value);
    void set_bool(const std::string& key, bool value) { set(key, value ? "1" : "0"); }
    void erase(const std::string& key);
    // Every key and value, sorted by key.
    std::map<std::string, std::string> all() const;
    void replace_all(std::map<std::string, std::string> values);
    // The file's lines as read (comments, blanks, lines not understood, key lines), so
    // a rewrite keeps them in place; empty for a file not read.
    std::vector<std::string> lines() const;
    void replace_all(std::map<std::string, std::string> values, std::vector<std::string> lines);

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> values_;
    std::vector<std::string> lines_;
};

// Keys of the extra settings file, one place for every feature that keeps one.
namespace extra_key {
inline constexpr const char* kReconnect = "reconnect";  // Łącz ponownie po odłączeniu (1)
inline constexpr const char* kPriceConfirmation = "price_confirmation";  // read prices back after a batch (1)
// Work without an operator (dialog "Praca bez obsługi", docs/dialogs.md).
inline constexpr const char* kConnectAtStart = "connect_at_start";  // Łącz z wieżą przy starcie (0)
inline constexpr const char* kSignWatch = "sign_watch";              // Sprawdzaj wieżę (0)
inline constexpr const char* kSignWatchMinutes = "sign_watch_minutes";  // its period, minutes (10)
inline constexpr const char* kRestorePrices = "restore_prices";      // Przywracaj potwierdzone ceny (0)
// The prices the sign last confirmed, kept for the sign watch (docs/sign-watch.md):
// "M----;4.59;5.19;3.09;6.00;12" and calendar seconds.
inline constexpr const char* kConfirmedPrices = "confirmed_prices";
inline constexpr const char* kConfirmedTime = "confirmed_time";
inline constexpr const char* kPriceScheduleDone = "price_schedule_done";  // planned changes handled up to (s)
// Link to head office through an MQTT broker (docs/head-office.md): off until a broker
// and a station id are set; head_office=0 switches it off.
inline constexpr const char* kHeadOffice = "head_office";
inline constexpr const char* kHeadOfficeBroker = "head_office_broker";  // HOST:PORT
inline constexpr const char* kHeadOfficeStation = "head_office_station";
inline constexpr const char* kHeadOfficeUser = "head_office_user";
inline constexpr const char* kHeadOfficePassword = "head_office_password";
inline constexpr const char* kHeadOfficePasswordFile = "head_office_password_file";
inline constexpr const char* kHeadOfficeCaFile = "head_office_ca_file";
}  // namespace extra_key

inline constexpr int kSignWatchDefaultMinutes = 10;
inline constexpr int kSignWatchMaxMinutes = 1440;  // a day
// The period the settings hold, 0..1440 minutes; one that is not a number or above a
// day (a hand-edited file) gives the default.
int sign_watch_minutes_setting(const ExtraSettings& extra);
// The sign watch's period in minutes, 0 when it is off (sign_watch not set, or a period of 0).
int sign_watch_period_minutes(const ExtraSettings& extra);

}  // namespace kc
