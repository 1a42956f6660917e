// Test helper: publishes one retained QoS 1 message over TLS as a station would, so a
// browser test can hand the server what a misbehaving station sends.
// Usage: console_publish HOST PORT CAFILE USER PASSWORD_FILE TOPIC PAYLOAD
#include <mosquitto.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 8) {
        std::fprintf(stderr, "usage: console_publish HOST PORT CAFILE USER PASSWORD_FILE TOPIC PAYLOAD\n");
        return 2;
    }
    std::string password;
    std::ifstream(argv[5]) >> password;
    mosquitto_lib_init();
    mosquitto* m = mosquitto_new(nullptr, true, nullptr);
    bool published = false;
    mosquitto_publish_callback_set(m, [](mosquitto*, void* flag, int) { *static_cast<bool*>(flag) = true; });
    mosquitto_user_data_set(m, &published);
    mosquitto_username_pw_set(m, argv[4], password.c_str());
    mosquitto_tls_set(m, argv[3], nullptr, nullptr, nullptr, nullptr);
    int rc = mosquitto_connect(m, argv[1], std::stoi(argv[2]), 10);
    if (rc == MOSQ_ERR_SUCCESS) {
        const std::string payload = argv[7];
        rc = mosquitto_publish(m, nullptr, argv[6], static_cast<int>(payload.size()), payload.data(), 1, true);
        for (int i = 0; rc == MOSQ_ERR_SUCCESS && !published && i < 100; ++i) rc = mosquitto_loop(m, 100, 1);
        mosquitto_disconnect(m);
    }
    mosquitto_destroy(m);
    mosquitto_lib_cleanup();
    if (!published) std::fprintf(stderr, "console_publish: %s\n", mosquitto_strerror(rc));
    return published ? 0 : 1;
}
