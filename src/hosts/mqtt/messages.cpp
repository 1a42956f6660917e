// Head office link (MQTT host): topics and JSON messages.
#include "hosts/mqtt/messages.h"

#include <time.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "link/price_batch.h"
#include "resources/texts.h"
#include "text/cp1250.h"

namespace kc::mqtt {
namespace {

using nlohmann::json;

const char* const kPrefix = "kavorcen/";

ParsedChange refuse(const std::string& reason, const std::string& where = "", const std::string& id = "") {
    ParsedChange r;
    r.reason = reason;
    r.where = where;
    r.id = id;
    return r;
}

std::string utf8(const std::string& cp1250) { return cp1250_to_utf8(cp1250); }

// Text from a file or the network may not be UTF-8; it must never stop an answer.
std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

json price_set_json(const PriceSet& set) {
    json prices = json::array(), blink = json::array();
    for (int i = 0; i < 5; ++i) {
        prices.push_back(utf8(set.prices[static_cast<size_t>(i)]));
        blink.push_back(set.blink[static_cast<size_t>(i)]);
    }
    return json{{"prices", prices}, {"blink", blink}};
}

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool digits(const std::string& s, size_t pos, size_t count, int& value) {
    if (pos + count > s.size()) return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

ParsedChange parse_change_checked(const std::string& payload, const std::string& station);

}  // namespace

std::string set_topic(const std::string& station) { return kPrefix + station + "/prices/set"; }
std::string result_topic(const std::string& station) { return kPrefix + station + "/prices/result"; }
std::string state_topic(const std::string& station) { return kPrefix + station + "/state"; }
std::string status_topic(const std::string& station) { return kPrefix + station + "/status"; }
std::string events_topic(const std::string& station) { return kPrefix + station + "/events"; }

std::string station_of_topic(const std::string& topic) {
    const std::string prefix = kPrefix;
    if (topic.compare(0, prefix.size(), prefix) != 0) return "";
    size_t end = topic.find('/', prefix.size());
    if (end == std::string::npos) return "";
    return topic.substr(prefix.size(), end - prefix.size());
}

bool valid_station_id(const std::string& station) {
    if (station.empty() || station.size() > kMaxIdLength) return false;
    for (char c : station)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
            return false;
    return true;
}

bool valid_change_id(const std::string& id) {
    if (id.empty() || id.size() > kMaxIdLength) return false;
    for (char c : id)
        if (c < 0x21 || c > 0x7E || c == '"' || c == '\\') return false;
    return true;
}

ParsedChange parse_change(const std::string& payload, const std::string& station) {
    if (payload.size() > kMaxChangeBytes) return refuse("too_large");
    try {
        return parse_change_checked(payload, station);
    } catch (const std::exception&) {
        // Every value is type-checked before it is read; this only keeps a missed case
        // from ending the program.
        return refuse("not_json");
    }
}

namespace {
ParsedChange parse_change_checked(const std::string& payload, const std::string& station) {

    // A key given twice would let two readers of one message see two changes.
    std::vector<std::set<std::string>> keys;
    bool duplicate = false;
    json::parser_callback_t watch = [&](int, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) keys.emplace_back();
        if (event == json::parse_event_t::object_end && !keys.empty()) keys.pop_back();
        if (event == json::parse_event_t::key && !keys.empty() && !keys.back().insert(parsed.get<std::string>()).second)
            duplicate = true;
        return true;
    };
    json j = json::parse(payload, watch, false);
    if (j.is_discarded()) return refuse("not_json");
    if (!j.is_object()) return refuse("not_object");

    // The id first, so that a refusal can name the change it refuses.
    std::string id;
    if (auto it = j.find("id"); it != j.end() && it->is_string() && valid_change_id(it->get<std::string>()))
        id = it->get<std::string>();
    if (duplicate) return refuse("duplicate_key", "", id);

    static const std::set<std::string> known = {"id", "station", "prices", "blink", "at"};
    for (auto it = j.begin(); it != j.end(); ++it)
        if (!known.count(it.key())) return refuse("unknown_field", it.key(), id);
    for (const char* field : {"id", "station", "prices", "blink"})
        if (!j.contains(field)) return refuse("missing_field", field, id);

    if (!j["id"].is_string()) return refuse("wrong_type", "id");
    if (id.empty()) return refuse("bad_id", "id");
    if (!j["station"].is_string()) return refuse("wrong_type", "station", id);
    if (j["station"].get<std::string>() != station) return refuse("wrong_station", "station", id);

    const json& prices = j["prices"];
    const json& blink = j["blink"];
    if (!prices.is_array()) return refuse("wrong_type", "prices", id);
    if (prices.size() != 5) return refuse("wrong_count", "prices", id);
    if (!blink.is_array()) return refuse("wrong_type", "blink", id);
    if (blink.size() != 5) return refuse("wrong_count", "blink", id);

    ParsedChange r;
    r.id = id;
    r.change.id = id;
    for (size_t i = 0; i < 5; ++i) {
        const std::string where_price = "prices[" + std::to_string(i + 1) + "]";
        const std::string where_blink = "blink[" + std::to_string(i + 1) + "]";
        if (!prices[i].is_string()) return refuse("wrong_type", where_price, id);
        if (!blink[i].is_boolean()) return refuse("wrong_type", where_blink, id);
        // Price characters are ASCII, so the UTF-8 text is the panel's text as it is.
        const std::string text = prices[i].get<std::string>();
        PriceCheck check = check_price_text(text);
        if (check.problem == PriceProblem::too_long) return refuse("price_too_long", where_price, id);
        if (check.problem != PriceProblem::none) return refuse("price_bad_character", where_price, id);
        r.change.set.prices[i] = text;
        r.change.set.blink[i] = blink[i].get<bool>();
    }
    if (auto it = j.find("at"); it != j.end()) {
        if (!it->is_string()) return refuse("wrong_type", "at", id);
        if (!parse_time(it->get<std::string>(), r.change.at)) return refuse("bad_time", "at", id);
        r.change.has_at = true;
    }
    r.ok = true;
    return r;
}
}  // namespace

std::string result_json(const std::string& station, const CentralResult& result) {
    json j{{"id", result.id}, {"station", station}, {"outcome", outcome_name(result.outcome)},
           {"time", format_time(result.time)}};
    if (!result.reason.empty()) j["reason"] = result.reason;
    if (!result.detail.empty()) j["detail"] = utf8(result.detail);
    if (!result.fields.empty()) j["fields"] = result.fields;
    if (result.has_sign) j["sign"] = price_set_json(result.sign);
    if (result.late) j["late"] = true;
    // A held change without a time of its own has none to tell.
    if ((result.late || result.outcome == CentralOutcome::Scheduled) && result.at != 0) j["at"] = format_time(result.at);
    if (result.arrived != 0) j["arrived"] = format_time(result.arrived);
    if (!result.previous.empty()) j["previous"] = result.previous;
    return dump(j);
}

std::string state_json(const std::string& station, const StationState& state) {
    json j = price_set_json(state.sign);
    j["station"] = station;
    j["time"] = format_time(state.time);
    j["source"] = utf8(state.source);  // "przywrócenie" is Windows-1250 in the core
    j["matches"] = state.matches;
    return dump(j);
}

std::string status_json(const std::string& station, bool online, const StationStatus& status, int64_t since,
                        int64_t time) {
    const SignAnswers sign = status.sign;
    const char* s = sign == SignAnswers::Answers       ? "answers"
                    : sign == SignAnswers::NoAnswer     ? "no_answer"
                    : sign == SignAnswers::TestMode     ? "test_mode"
                                                        : "disconnected";
    json j{{"station", station}, {"status", online ? "online" : "offline"}, {"sign", s},
           {"test_mode", status.test_mode}, {"time", format_time(time)}};
    if (since != 0) j["since"] = format_time(since);
    j["last_watch"] = status.last_watch != 0 ? json(format_time(status.last_watch)) : json(nullptr);
    return dump(j);
}

std::string offline_json(const std::string& station) {
    return dump(json{{"station", station}, {"status", "offline"}});
}

std::string event_json(const std::string& station, const StationEvent& event) {
    json j{{"station", station}, {"event", event.kind}, {"time", format_time(event.time)}};
    if (!event.detail.empty()) j["detail"] = utf8(event.detail);
    if (!event.fields.empty()) j["fields"] = event.fields;
    if (event.has_sign) j["sign"] = price_set_json(event.sign);
    if (!event.id.empty()) j["id"] = event.id;
    return dump(j);
}

std::string change_json(const std::string& station, const std::string& id, const PriceSet& set,
                        const std::string& at) {
    json j = price_set_json(set);
    j["id"] = id;
    j["station"] = station;
    if (!at.empty()) j["at"] = at;
    return dump(j);
}

bool parse_time(const std::string& s, int64_t& seconds) {
    int year, month, day, hour, minute, second;
    if (s.size() < 19 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':') return false;
    if (!digits(s, 0, 4, year) || !digits(s, 5, 2, month) || !digits(s, 8, 2, day) || !digits(s, 11, 2, hour) ||
        !digits(s, 14, 2, minute) || !digits(s, 17, 2, second))
        return false;
    static const int month_days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > month_days[month - 1] || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap) return false;
    const std::string zone = s.substr(19);
    if (zone.empty()) {
        // Local time of the station, as the sign's clock reads.
        struct tm t = {};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        t.tm_isdst = -1;
        time_t v = mktime(&t);
        if (v == static_cast<time_t>(-1)) return false;
        seconds = static_cast<int64_t>(v);
        return true;
    }
    int64_t offset = 0;
    if (zone == "Z") {
        offset = 0;
    } else {
        int oh, om;
        if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':' || !digits(zone, 1, 2, oh) ||
            !digits(zone, 4, 2, om) || oh > 23 || om > 59)
            return false;
        offset = (oh * 3600 + om * 60) * (zone[0] == '-' ? -1 : 1);
    }
    seconds = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
              hour * 3600 + minute * 60 + second - offset;
    return true;
}

std::string format_time(int64_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    struct tm local = {};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char text[40];
    strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    // The offset from the local fields themselves: Windows' %z gives the zone's name.
    const int64_t as_utc = days_from_civil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                           static_cast<unsigned>(local.tm_mday)) * 86400 +
                           local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    const int64_t offset = (as_utc - static_cast<int64_t>(t)) / 60;
    const int64_t minutes = offset < 0 ? -offset : offset;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', static_cast<int>(minutes / 60),
                  static_cast<int>(minutes % 60));
    return std::string(text) + zone;
}

std::string reason_text(const std::string& code) {
    static const std::pair<const char*, Txt> table[] = {
        {"too_large", Txt::HoReasonTooLarge},
        {"not_json", Txt::HoReasonNotJson},
        {"not_object", Txt::HoReasonNotObject},
        {"duplicate_key", Txt::HoReasonDuplicateKey},
        {"unknown_field", Txt::HoReasonUnknownField},
        {"missing_field", Txt::HoReasonMissingField},
        {"wrong_type", Txt::HoReasonWrongType},
        {"bad_id", Txt::HoReasonBadId},
        {"wrong_station", Txt::HoReasonWrongStation},
        {"wrong_count", Txt::HoReasonWrongCount},
        {"price_too_long", Txt::HoReasonPriceTooLong},
        {"price_bad_character", Txt::HoReasonPriceBadCharacter},
        {"bad_time", Txt::HoReasonBadTime},
        {"too_far_ahead", Txt::HoReasonTooFarAhead},
        {"queue_full", Txt::HoReasonQueueFull},
        {"retained", Txt::HoReasonRetained},
        {"shutting_down", Txt::HoReasonShuttingDown},
    };
    for (const auto& [name, text] : table)
        if (code == name) return txt(text);
    return code;
}

std::string fill(const std::string& pattern, std::initializer_list<std::string> args) {
    std::string out;
    auto next = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd') &&
            next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace kc::mqtt
