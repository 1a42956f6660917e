// Settings dialog tests: dialog 101, the serial line settings.
#include "dialogs/transmission_dialog.h"

#include "dialog_fixture.h"
#include "resources/dialog_ids.h"
#include "dialogs/dialogs.h"
#include "resources/command_ids.h"
#include "resources/texts.h"
#include "storage/extra_settings_file.h"
#include "support/fake_port_discovery.h"

namespace kc {
namespace {

constexpr WindowId W = kDialogTransmission;

class TransmissionTest : public DialogTest {
protected:
    // Runs the dialog with `script` and returns its result.
    int run(std::function<void(WindowId)> script) {
        TransmissionDialog dialog(p);
        host.on_dialog(W, std::move(script));
        return host.run_dialog(W, dialog);
    }
    std::vector<std::string> texts(int list) {
        std::vector<std::string> out;
        for (const ListItem& i : host.controls().items(W, list)) out.push_back(i.text);
        return out;
    }
};

TEST_F(TransmissionTest, lists_offer_the_value_tables_with_the_current_settings_selected) {
    run([](WindowId) {});
    ControlStore& c = host.controls();
    EXPECT_EQ(texts(kIdPortList), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
                                                            "COM8", "COM9", "COM10"}));
    EXPECT_EQ(c.item_data(W, kIdPortList, 9), 10u);
    EXPECT_EQ(texts(kIdSpeedList), (std::vector<std::string>{"110", "300", "600", "1200", "2400", "4800", "9600",
                                                             "14.4k", "19.2k", "38.4k", "56k", "128k", "256k"}));
    EXPECT_EQ(c.item_data(W, kIdSpeedList, 7), 14400u);
    EXPECT_EQ(c.item_data(W, kIdSpeedList, 12), 256000u);
    EXPECT_EQ(texts(kIdDataBitsList), (std::vector<std::string>{"5", "6", "7", "8"}));
    EXPECT_EQ(texts(kIdParityList), (std::vector<std::string>{"None", "Even", "Odd", "Mark", "Space"}));
    EXPECT_EQ(texts(kIdStopBitsList), (std::vector<std::string>{"1", "1.5", "2"}));

    // Defaults: COM1, 19200, 8 data bits, no parity, one stop bit, no traffic log.
    EXPECT_EQ(c.selection(W, kIdPortList), 0);
    EXPECT_EQ(c.selection(W, kIdSpeedList), 8);
    EXPECT_EQ(c.selection(W, kIdDataBitsList), 3);
    EXPECT_EQ(c.selection(W, kIdParityList), 0);
    EXPECT_EQ(c.selection(W, kIdStopBitsList), 0);
    EXPECT_FALSE(c.checked(W, kIdLogTraffic));
    EXPECT_TRUE(c.enabled(W, kIdPortList));
}

TEST_F(TransmissionTest, port_entries_name_the_device_they_reach) {
    p.describe_port = [](int n) { return n == 1 ? std::string("/dev/ttyUSB0") : std::string(); };
    run([](WindowId) {});
    EXPECT_EQ(host.controls().items(W, kIdPortList)[0].text, "COM1  (/dev/ttyUSB0)");
    EXPECT_EQ(host.controls().items(W, kIdPortList)[1].text, "COM2");
}

TEST_F(TransmissionTest, chosen_entries_store_their_codes) {
    int result = run([&](WindowId w) {
        host.select(w, kIdPortList, 2);
        host.select(w, kIdSpeedList, 6);      // 9600
        host.select(w, kIdDataBitsList, 2);   // "7"
        host.select(w, kIdParityList, 1);     // "Even"
        host.select(w, kIdStopBitsList, 1);   // "1.5"
        host.press(w, kIdLogTraffic);
        host.press(w, kIdOk);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record().port_number, 3);
    EXPECT_EQ(record().baud_rate, 9600u);
    EXPECT_EQ(record().data_bits, 7);
    EXPECT_EQ(record().parity, 2);
    EXPECT_EQ(record().stop_bits, 1);
    EXPECT_TRUE(record().log_traffic);
    auto lines = settings_lines();
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 7),
              (std::vector<std::string>{"3", "9600", "7", "2", "1", "1"}));
}

TEST_F(TransmissionTest, every_parity_entry_stores_the_platform_code) {
    const uint8_t codes[] = {0, 2, 1, 3, 4};  // None, Even, Odd, Mark, Space
    for (int i = 0; i < 5; ++i) {
        run([&](WindowId w) {
            host.select(w, kIdParityList, i);
            host.press(w, kIdOk);
        });
        EXPECT_EQ(record().parity, codes[i]) << "entry " << i;
    }
    // And the list selects the stored code when it opens again: Odd is the third entry.
    record().parity = 1;
    run([](WindowId) {});
    EXPECT_EQ(host.controls().selection(W, kIdParityList), 2);
}

TEST_F(TransmissionTest, connected_greys_the_port_list_with_the_current_port_selected) {
    record().connected = true;
    record().port_number = 4;
    run([](WindowId) {});
    EXPECT_FALSE(host.controls().enabled(W, kIdPortList));
    EXPECT_EQ(host.controls().selection(W, kIdPortList), 3);
    EXPECT_TRUE(host.controls().enabled(W, kIdSpeedList));
}

TEST_F(TransmissionTest, cancel_and_escape_change_nothing_and_leave_the_file_alone) {
    int result = run([&](WindowId w) {
        host.select(w, kIdPortList, 5);
        host.select(w, kIdParityList, 1);
        host.press(w, kIdLogTraffic);
        host.press(w, kIdCancel);  // "Anuluj" and Escape are the same command
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record().port_number, 1);
    EXPECT_EQ(record().parity, 0);
    EXPECT_FALSE(record().log_traffic);
    EXPECT_FALSE(settings_written());
}

TEST_F(TransmissionTest, ok_writes_the_file_even_when_nothing_changed) {
    run([&](WindowId w) { host.press(w, kIdOk); });
    auto lines = settings_lines();
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 7),
              (std::vector<std::string>{"1", "19200", "8", "0", "0", "0"}));
}

TEST_F(TransmissionTest, a_stored_value_without_an_entry_is_kept_by_ok) {
    // Values only an edited settings file can hold: a speed and a byte size the lists
    // do not offer.
    record().baud_rate = 57600;
    record().data_bits = 4;
    record().port_number = 12;
    run([&](WindowId w) {
        EXPECT_EQ(host.controls().selection(w, kIdSpeedList), -1);
        EXPECT_EQ(host.controls().selection(w, kIdDataBitsList), -1);
        EXPECT_EQ(host.controls().selection(w, kIdPortList), -1);
        host.select(w, kIdStopBitsList, 2);
        host.press(w, kIdOk);
    });
    EXPECT_EQ(record().baud_rate, 57600u);
    EXPECT_EQ(record().data_bits, 4);
    EXPECT_EQ(record().port_number, 12);
    EXPECT_EQ(record().stop_bits, 2);
    EXPECT_EQ(settings_lines().at(2), "57600");
}

TEST_F(TransmissionTest, font_button_takes_a_confirmed_font_and_ignores_a_cancelled_one) {
    FontSpec chosen;
    chosen.face = "DejaVu Sans Mono";
    chosen.height = 20;
    host.next_font_choice(std::make_pair(chosen, Color{0x0000FF}));
    host.next_font_choice(std::nullopt);
    run([&](WindowId w) {
        host.press(w, kIdFontButton);
        host.press(w, kIdFontButton);
        host.press(w, kIdCancel);
    });
    EXPECT_EQ(record().font_spec.face, "DejaVu Sans Mono");
    EXPECT_EQ(record().font_spec.height, 20);
    EXPECT_EQ(record().text_color, 0x0000FFu);
}

TEST_F(TransmissionTest, without_a_record_the_dialog_does_not_open) {
    p.record.reset();
    run_transmission_dialog(p);
    EXPECT_TRUE(host.dialogs_run().empty());
}

}  // namespace
}  // namespace kc

namespace kc {
namespace {

constexpr WindowId T = kDialogTransmission;

class TransmissionDeviceTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        discovery = std::make_shared<test::FakePortDiscovery>();
        discovery->ports = {test::builtin_port(), test::usb_adapter()};
        p.discovery = discovery;
    }
    int run(std::function<void(WindowId)> script) {
        TransmissionDialog dialog(p);
        host.on_dialog(T, std::move(script));
        return host.run_dialog(T, dialog);
    }
    std::string item(int index) { return host.controls().items(T, kIdDeviceList).at(static_cast<size_t>(index)).text; }
    std::shared_ptr<test::FakePortDiscovery> discovery;
};

TEST_F(TransmissionDeviceTest, picking_a_device_links_the_port_to_its_by_id_name_and_builtin_removes_it) {
    run([&](WindowId) {
        // ttyS0 is COM1's built-in port: listed once, not again among the devices present.
        ASSERT_EQ(host.controls().items(T, kIdDeviceList).size(), 2u);
        EXPECT_EQ(item(0), txt(Txt::ConnBuiltIn) + " (/dev/ttyS0)");
        EXPECT_EQ(item(1), "FTDI FT232R USB UART, nr A1B2C3 (/dev/ttyUSB0)");
        EXPECT_EQ(host.controls().selection(T, kIdDeviceList), 0);
        host.select(T, kIdDeviceList, 1);
        host.press(T, kIdOk);
    });
    EXPECT_EQ(discovery->links[1], test::usb_adapter().by_id);

    // Another port shows its own link; the list follows the port chosen.
    discovery->links[2] = "/dev/ttyS0";
    run([&](WindowId) {
        EXPECT_EQ(host.controls().selection(T, kIdDeviceList), 1);
        host.select(T, kIdPortList, 1);
        EXPECT_EQ(host.controls().items(T, kIdDeviceList).size(), 3u);  // COM2 offers ttyS0 too
        EXPECT_EQ(host.controls().selection(T, kIdDeviceList), 1);
        host.select(T, kIdDeviceList, 0);
        host.press(T, kIdOk);
    });
    EXPECT_EQ(discovery->links.count(2), 0u);
    EXPECT_EQ(discovery->links[1], test::usb_adapter().by_id);  // COM1 untouched

    // A link to an adapter that is not plugged in stays unless another is picked.
    discovery->links[1] = "/dev/serial/by-id/usb-gone";
    record().port_number = 1;
    run([&](WindowId) {
        EXPECT_EQ(item(host.controls().selection(T, kIdDeviceList)), "/dev/serial/by-id/usb-gone");
        host.press(T, kIdOk);
    });
    EXPECT_EQ(discovery->links[1], "/dev/serial/by-id/usb-gone");
}

TEST_F(TransmissionDeviceTest, reconnect_switch_goes_to_the_extra_file_and_failures_are_told) {
    run([&](WindowId) {
        EXPECT_TRUE(host.controls().checked(T, kIdReconnect));  // on by default
        host.set_check(T, kIdReconnect, false);
        host.press(T, kIdOk);
    });
    EXPECT_FALSE(p.extra.get_bool(extra_key::kReconnect, true));
    std::ifstream extra(std::filesystem::path(p.state.work_directory) / kExtraSettingsName);
    std::string text((std::istreambuf_iterator<char>(extra)), {});
    EXPECT_NE(text.find("reconnect=0"), std::string::npos) << text;

    // A folder where KavorCen.ini should be, and a link that cannot be written: both said.
    std::filesystem::remove(settings_path(p));
    std::filesystem::create_directory(settings_path(p));
    discovery->link_error = std::make_error_code(std::errc::permission_denied);
    run([&](WindowId) {
        host.select(T, kIdDeviceList, 1);
        host.press(T, kIdOk);
    });
    host.pump();
    ASSERT_EQ(host.messages().size(), 2u);
    std::string all = host.messages()[0].text + host.messages()[1].text;
    EXPECT_NE(all.find(txt(Txt::FileErrIsFolder)), std::string::npos);
    EXPECT_NE(all.find(txt(Txt::FileErrNoPermission)), std::string::npos);
}

}  // namespace
}  // namespace kc
