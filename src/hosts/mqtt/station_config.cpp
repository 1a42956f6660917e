// Head office link (MQTT host): the station's broker settings.
#include "hosts/mqtt/station_config.h"

#include "hosts/mqtt/messages.h"
#ifndef _WIN32
#include "hosts/posix/posix_password_store.h"
#endif
#include "resources/texts.h"

namespace kc::mqtt {

bool parse_broker(const std::string& text, std::string& host, int& port) {
    return parse_broker_address(text, host, port);
}

#ifndef _WIN32
bool read_password_file(const std::string& path, std::string& password, std::string& problem) {
    return read_owner_only_secret(path, password, problem);
}
#endif

StationConfig read_station_config(const ExtraSettings& extra, PasswordStore* passwords) {
    StationConfig c;
    c.broker = extra.get(extra_key::kHeadOfficeBroker);
    c.station = extra.get(extra_key::kHeadOfficeStation);
    c.configured = !c.broker.empty() && !c.station.empty();
    c.enabled = c.configured && extra.get_bool(extra_key::kHeadOffice, true);
    if (!c.enabled) return c;
    // Left empty it counts as left out, like the other keys.
    c.user = extra.get(extra_key::kHeadOfficeUser);
    if (c.user.empty()) c.user = c.station;
    c.ca_file = extra.get(extra_key::kHeadOfficeCaFile);
    if (!valid_station_id(c.station)) {
        c.problem = txt(Txt::HoBadStation);
    } else if (!parse_broker(c.broker, c.host, c.port)) {
        c.problem = txt(Txt::HoBadBroker);
    } else if (c.ca_file.empty()) {
        // Prices travel only encrypted, with the broker's certificate checked.
        c.problem = txt(Txt::HoNoCaFile);
    } else if (std::string file = extra.get(extra_key::kHeadOfficePasswordFile); !file.empty()) {
        if (passwords) {
            if (passwords->load(file, c.password, c.problem) && c.password.empty())
                c.problem = fill(Txt::HoPasswordFileEmpty, file);
        } else {
#ifdef _WIN32
            c.problem = txt(Txt::HoPasswordNoStore);
#else
            read_password_file(file, c.password, c.problem);
#endif
        }
    } else {
        c.password = extra.get(extra_key::kHeadOfficePassword);
    }
    return c;
}

}  // namespace kc::mqtt
