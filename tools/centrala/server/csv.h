// Head office server: the history as a CSV in the price journal's form (Windows-1250,
// semicolons, CR LF), with the station in front.
#pragma once
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace kc::centrala {

// The journal's word for an outcome ("potwierdzone", ...); the word itself when unknown.
std::string outcome_word(const std::string& outcome);

// `rows` as the history gives them; `pushes` the bodies of the pushes they name, by id.
std::string history_csv(const nlohmann::json& rows, const std::map<std::string, nlohmann::json>& pushes);

}  // namespace kc::centrala
