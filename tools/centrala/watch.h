// kavor-centrala watch: one line for each station event, for people and scripts.
#pragma once
#include <nlohmann/json.hpp>
#include <string>

namespace kc::centrala {

// "<time> <station> <event>[ id=<id>][ fields=2,3][ sign="4.59* 5.19 ..."][ detail="..."]":
// one line, whatever the message holds (quotes and control characters are replaced).
std::string event_line(const std::string& station, const nlohmann::json& event);

}  // namespace kc::centrala
