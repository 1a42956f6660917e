#include "centrala/server/csv.h"

#include <ctime>

#include "text/cp1250.h"

namespace kc::centrala {

namespace {

using nlohmann::json;

std::string field(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    if (s.find_first_of(";\"") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string text(const json& j, const char* key) {
    auto it = j.is_object() ? j.find(key) : j.end();
    return it != j.end() && it->is_string() ? it->get<std::string>() : "";
}

// Five prices and the blink column from {"prices", "blink"}; empty fields when absent.
void prices_of(const json& j, std::string& out) {
    const bool have = j.is_object() && j.contains("prices") && j["prices"].is_array();
    std::string blink;
    for (size_t i = 0; i < 5; ++i) {
        out += ";";
        if (have && i < j["prices"].size() && j["prices"][i].is_string()) out += field(j["prices"][i]);
        if (have) {
            const json& b = j.value("blink", json::array());
            blink += i < b.size() && b[i].is_boolean() && b[i].get<bool>() ? 'M' : '-';
        }
    }
    out += ";" + blink;
}

const char* source_word(const std::string& s) {
    if (s == "schedule") return "harmonogram";
    if (s == "readback") return "odczyt";
    if (s == "script") return "skrypt";
    if (s == "central") return "centrala";
    return nullptr;
}

}  // namespace

std::string outcome_word(const std::string& outcome) {
    static const std::map<std::string, std::string> kWords = {
        {"confirmed", "potwierdzone"}, {"mismatch", "niezgodne"},      {"acknowledged", "przyjęte"},
        {"not_confirmed", "niepotwierdzone"}, {"given_up", "porzucone"}, {"refused", "odrzucone"},
        {"held", "wstrzymane"},        {"superseded", "zastąpione"},   {"scheduled", "zaplanowane"},
        {"duplicate", "powtórzone"},   {"no_answer", "brak odpowiedzi"}, {"not_sent", "niewysłane"}};
    auto it = kWords.find(outcome);
    return it == kWords.end() ? outcome : it->second;
}

std::string history_csv(const json& rows, const std::map<std::string, json>& pushes) {
    std::string out =
        "Stacja;Data;Godzina;Źródło;Cena 1;Cena 2;Cena 3;Cena 4;Cena 5;Mruganie;Wynik;Wieża 1;Wieża 2;Wieża 3;"
        "Wieża 4;Wieża 5;Wieża mruganie;Uwagi\r\n";
    for (const json& r : rows) {
        const std::string kind = text(r, "kind");
        const json& body = r.contains("body") ? r["body"] : json();
        if (kind != "result" && kind != "state") continue;
        std::time_t t = static_cast<std::time_t>(r.value("time", int64_t{0}));
        struct tm local = {};
        localtime_r(&t, &local);
        char date[16], clock[16];
        std::strftime(date, sizeof date, "%Y-%m-%d", &local);
        std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
        std::string line = field(text(r, "station")) + ";" + date + ";" + clock + ";";
        if (kind == "result") {
            line += "centrala";
            auto p = pushes.find(text(r, "push"));
            prices_of(p == pushes.end() ? json() : p->second, line);
            const std::string outcome = text(body, "outcome");
            line += ";" + field(outcome_word(outcome));
            prices_of(outcome == "confirmed" || outcome == "mismatch" ? body.value("sign", json()) : json(), line);
            std::string note;
            if (body.contains("fields") && body["fields"].is_array())
                for (const json& f : body["fields"]) note += (note.empty() ? "" : " ") + f.dump();
            if (note.empty()) note = text(body, "detail").empty() ? text(body, "reason") : text(body, "detail");
            line += ";" + field(note);
        } else {
            const std::string source = text(body, "source");
            const char* word = source_word(source);
            line += field(word ? word : source);
            prices_of(body, line);
            const bool matches = !body.contains("matches") || !body["matches"].is_boolean() || body["matches"].get<bool>();
            line += std::string(";") + (matches ? "potwierdzone" : "niezgodne");
            prices_of(body, line);
            line += ";";
        }
        out += line + "\r\n";
    }
    return kc::utf8_to_cp1250(out);
}

}  // namespace kc::centrala
