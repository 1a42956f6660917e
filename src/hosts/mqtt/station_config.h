// Head office link (MQTT host): the station's broker settings, read from the extra
// settings file, and the checks that keep a password from leaking.
#pragma once
#include <string>

#include "platform/head_office_check.h"
#include "platform/password_store.h"
#include "state/extra_settings.h"

namespace kc::mqtt {

struct StationConfig {
    bool configured = false;  // a broker and a station id are set
    bool enabled = false;     // configured and not switched off
    std::string broker;       // as written, for the panel
    std::string host;
    int port = kDefaultBrokerPort;
    std::string station;
    std::string user;         // defaults to the station id
    std::string password;
    std::string ca_file;
    std::string problem;      // Windows-1250; when set the link does not try at all
};

// "HOST:PORT" or "HOST" (port 8883); "[v6]:PORT" for an IPv6 address.
bool parse_broker(const std::string& text, std::string& host, int& port);

#ifndef _WIN32
// Reads a password from the first line of `path`. The file must be readable by its
// owner only; otherwise `problem` says so and nothing is read.
bool read_password_file(const std::string& path, std::string& password, std::string& problem);
#endif

// With `passwords` (the program's own store: a private file on Linux, the user's data
// protection on Windows) head_office_password_file is read through it; without, on
// Linux, as a plain file by read_password_file.
StationConfig read_station_config(const ExtraSettings& extra, PasswordStore* passwords = nullptr);

}  // namespace kc::mqtt
