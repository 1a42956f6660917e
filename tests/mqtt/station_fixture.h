// Tests (head office link): whole stations — the program on the headless host with the
// real POSIX serial backend, its own virtual sign on a pseudo-terminal, and the MQTT
// bridge to a test broker — and a plain MQTT client standing in for head office.
#pragma once
#include <gtest/gtest.h>
#include <mosquitto.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/head_office_station.h"
#include "app/main_window.h"
#include "hosts/headless/headless_host.h"
#include "hosts/mqtt/mqtt_station.h"
#include "hosts/posix/posix_services.h"
#include "hosts/posix/system_clock.h"
#include "mqtt/test_broker.h"
#include "panel/control_panel.h"
#include "resources/command_ids.h"
#include "resources/head_office_ids.h"
#include "signsim/sign_simulator.h"
#include "state/state.h"
#include "text/cp1250.h"

#if defined(__SANITIZE_ADDRESS__)
// libmosquitto makes an OpenSSL UI method for key passwords when it sets up TLS and
// never frees it; that is the library's, not this project's. The fast unwinder stops
// inside libcrypto, so the suppression names the library. (One definition per binary:
// the linker folds them.)
extern "C" inline __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libcrypto.so\n";
}
#endif

namespace kc::test {

inline std::string sign_frame_text(const std::string& payload) {
    std::vector<uint8_t> f = sign_frame(payload);
    return std::string(f.begin(), f.end());
}

// The price frames a sign received, the batch's "20E" included, without status queries
// and read-backs.
inline std::vector<std::string> price_frames(const SignSimulator& sign) {
    std::vector<std::string> out;
    for (const ReceivedFrame& f : sign.received()) {
        const std::string& p = f.payload;
        if ((p.size() >= 3 && p[0] == '2' && p[1] >= '1' && p[1] <= '5' && (p[2] == 'C' || p[2] == 'M')) || p == "20E")
            out.emplace_back(f.bytes.begin(), f.bytes.end());
    }
    return out;
}

// One station: a program of its own in its own folder, on port COM<n>.
class TestStation {
public:
    TestStation(std::filesystem::path dir, std::string id, int com) : dir_(std::move(dir)), id_(std::move(id)), com_(com) {
        std::filesystem::create_directories(dir_);
    }
    ~TestStation() { close(); }

    // Starts the sign and the program, connects COM<n> to the sign and writes the
    // extra settings that set up the link; `settings` may change them before start.
    void open(const TestBroker& broker, SignOptions sign_options = {},
              const std::function<void(ExtraSettings&)>& settings = {}) {
        if (!sign) {
            sign = std::make_unique<SignSimulator>(sign_options);
            ASSERT_FALSE(sign->start());
            const std::filesystem::path link =
                std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "kavorcen" / ("COM" + std::to_string(com_));
            std::filesystem::remove(link);
            std::filesystem::create_symlink(sign->path(), link);
        }
        program_ = std::make_unique<Program>();
        host_ = std::make_unique<HeadlessHost>();
        Program& p = *program_;
        p.ui = host_.get();
        p.clock = &clock_;
        use_posix_serial(p);
        main_window_ = std::make_unique<MainWindow>(p);
        panel_ = std::make_unique<ControlPanel>(p);
        // The program keeps its files in the folder current at its start.
        const auto old = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        const bool created = host_->create_main_window(*main_window_) && host_->create_panel(*panel_);
        std::filesystem::current_path(old);
        ASSERT_TRUE(created);
        p.extra.set(extra_key::kHeadOfficeBroker, broker.address());
        p.extra.set(extra_key::kHeadOfficeStation, id_);
        p.extra.set(extra_key::kHeadOfficePasswordFile, broker.password_file(id_));
        p.extra.set(extra_key::kHeadOfficeCaFile, broker.ca());
        if (settings) settings(p.extra);
        p.record->port_number = static_cast<uint8_t>(com_);
        if (operator_connects) {
            host_->menu(kCmdConnect);
            ASSERT_TRUE(p.record->connected.load());
        }
        // As the program starts: the sign first, when the settings ask for it, then the link.
        main_window_->connect_at_start_if_set();
        auto link = mqtt::make_station_link(p.extra, p.state.work_directory);
        ASSERT_TRUE(link);
        link_ = static_cast<mqtt::MqttStation*>(link.get());
        office_ = std::make_unique<HeadOfficeStation>(p, std::move(link));
        office_->start();
    }

    // The program ends (its link says goodbye); the sign stays.
    void close() {
        if (office_) office_->stop();
        office_.reset();
        link_ = nullptr;
        if (host_ && host_->main_window_exists()) host_->destroy_main_window();
        panel_.reset();
        main_window_.reset();
        host_.reset();
        program_.reset();
    }

    // Runs posted work and due timers at real-time pace.
    void pump() {
        if (!host_) return;
        auto now = std::chrono::steady_clock::now();
        int ms = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now - last_).count());
        last_ = now;
        host_->advance(ms > 0 ? ms : 0);
        host_->pump();
    }

    bool connected_to_broker() const { return link_ && link_->connected(); }
    std::string link_line() { return cp1250_to_utf8(panel_text(*program_, kIdHeadOfficeLink)); }
    std::string change_line() { return cp1250_to_utf8(panel_text(*program_, kIdHeadOfficeChange)); }
    Program& program() { return *program_; }
    const std::string& id() const { return id_; }
    std::filesystem::path dir() const { return dir_; }

    std::unique_ptr<SignSimulator> sign;
    // False: the program stays in test mode, as a fresh start does.
    bool operator_connects = true;

private:
    std::filesystem::path dir_;
    std::string id_;
    int com_;
    SystemClock clock_;
    std::unique_ptr<Program> program_;
    std::unique_ptr<HeadlessHost> host_;
    std::unique_ptr<MainWindow> main_window_;
    std::unique_ptr<ControlPanel> panel_;
    std::unique_ptr<HeadOfficeStation> office_;
    mqtt::MqttStation* link_ = nullptr;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

// Head office as a bare MQTT client: publishes raw messages and collects what comes back.
class OfficeClient {
public:
    struct Message {
        std::string topic, payload;
    };

    OfficeClient(const TestBroker& broker, const std::string& user = "centrala") {
        mosquitto_lib_init();
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_username_pw_set(mosq_, user.c_str(), (user + "-pw").c_str());
        mosquitto_tls_set(mosq_, broker.ca().c_str(), nullptr, nullptr, nullptr, nullptr);
        mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
            auto* c = static_cast<OfficeClient*>(self);
            std::lock_guard lock(c->mutex_);
            c->messages_.push_back({m->topic, std::string(static_cast<const char*>(m->payload),
                                                          static_cast<size_t>(m->payloadlen))});
        });
        mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
            if (rc == 0) mosquitto_subscribe(m, nullptr, "kavorcen/#", 1);
            static_cast<OfficeClient*>(self)->connack_ = rc;
        });
        mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* self, int) {
            ++static_cast<OfficeClient*>(self)->acked_;
        });
        // Ready once subscribed, so that nothing a station says after that is missed.
        mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<OfficeClient*>(self)->subscribed_ = true;
        });
        ok_ = mosquitto_connect(mosq_, "127.0.0.1", broker.port(), 30) == MOSQ_ERR_SUCCESS &&
              mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
    }
    ~OfficeClient() {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
    bool ready() const { return ok_ && connack_ == 0 && subscribed_; }
    void publish(const std::string& topic, const std::string& payload, bool retain = false) {
        mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, retain);
    }
    // Returns once the broker has taken the message (its PUBACK came), or after 30 s.
    bool publish_and_wait(const std::string& topic, const std::string& payload) {
        const int before = acked_;
        publish(topic, payload);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (acked_ == before && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return acked_ != before;
    }
    std::vector<Message> messages(const std::string& topic) const {
        std::lock_guard lock(mutex_);
        std::vector<Message> out;
        for (const Message& m : messages_)
            if (m.topic == topic) out.push_back(m);
        return out;
    }

private:
    mosquitto* mosq_ = nullptr;
    bool ok_ = false;
    std::atomic<int> connack_{-1};
    std::atomic<bool> subscribed_{false};
    std::atomic<int> acked_{0};
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

}  // namespace kc::test
