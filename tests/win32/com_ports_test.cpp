// Windows port discovery through a faked SetupAPI: what a device instance id tells, the
// ports listed, and a port setting that follows its adapter to another COM number.
#include "hosts/win32/com_ports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>

#include "dialogs/transmission_dialog.h"
#include "hosts/headless/headless_host.h"
#include "resources/command_ids.h"
#include "resources/dialog_ids.h"
#include "resources/texts.h"
#include "serial/connection_texts.h"
#include "serial/port.h"
#include "storage/extra_settings_file.h"
#include "storage/settings_file.h"
#include "support/fake_serial_device.h"

namespace kc {
namespace {

constexpr const char* kFtdi = "FTDIBUS\\VID_0403+PID_6001+A10KZ3P5A\\0000";

struct FakeSetupApi : SetupApi {
    std::mutex mutex;
    std::vector<ComDevice> devices;
    std::function<void()> changed;
    std::vector<ComDevice> com_devices() override {
        std::lock_guard<std::mutex> lock(mutex);
        return devices;
    }
    void watch(std::function<void()> f) override { changed = std::move(f); }
};

ComDevice ftdi_on(const char* port) {
    return {port, std::string("USB Serial Port (") + port + ")", kFtdi, "FTDI", "FTDIBUS"};
}
ComDevice acpi_com1() { return {"COM1", "Communications Port (COM1)", "ACPI\\PNP0501\\1", "(Standard port types)", "Serial"}; }

TEST(ComPorts, an_instance_id_gives_vendor_product_and_only_a_real_serial_number) {
    struct Case {
        const char* id;
        UsbIdentity want;
    } cases[] = {
        {"USB\\VID_0403&PID_6001\\A10KZ3P5", {"0403", "6001", "A10KZ3P5"}},
        {kFtdi, {"0403", "6001", "A10KZ3P5A"}},
        {"usb\\vid_0403&pid_6015\\DN0abcDE", {"0403", "6015", "DN0abcDE"}},
        {"USB\\VID_1A86&PID_7523\\5&2C4E1AD&0&2", {"1A86", "7523", ""}},  // made up from the socket
        {"USB\\VID_067B&PID_2303&MI_00\\6&1234&0&0000", {"067B", "2303", ""}},
        {"ACPI\\PNP0501\\1", {"", "", ""}},
        {"", {"", "", ""}},
    };
    for (const Case& c : cases) {
        UsbIdentity u = usb_identity(c.id);
        EXPECT_EQ(u.vid + "|" + u.pid + "|" + u.serial, c.want.vid + "|" + c.want.pid + "|" + c.want.serial) << c.id;
    }
    EXPECT_EQ(com_port_number("com12"), 12);
    EXPECT_EQ(com_port_number("LPT1"), 0);
    EXPECT_EQ(com_port_number("COM"), 0);
}

class ComDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        do {
            dir_ = (std::filesystem::temp_directory_path() / ("kc_com_ports_" + std::to_string(random()))).string();
        } while (!std::filesystem::create_directory(dir_));
        copy_text(p.state.work_directory, sizeof p.state.work_directory, dir_.c_str());
        p.ui = &host;
        p.record = std::make_unique<MainRecord>();
        p.make_serial = test::fake_serial_factory(line);
        p.start_reader = [](Program& pr) {
            pr.record->reader_thread = std::thread([] {});
            return true;
        };
        p.discovery = discovery;
    }
    void TearDown() override {
        if (p.record->connected) close_port(p);
        std::filesystem::remove_all(dir_);
    }
    std::string file_text(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    HeadlessHost host;
    Program p;
    std::shared_ptr<test::FakeLine> line = std::make_shared<test::FakeLine>();
    std::shared_ptr<FakeSetupApi> api = std::make_shared<FakeSetupApi>();
    std::shared_ptr<ComPortDiscovery> discovery = std::make_shared<ComPortDiscovery>(p, api);

private:
    std::string dir_;
};

TEST_F(ComDiscovery, lists_com_ports_in_number_order_with_the_names_a_person_knows) {
    api->devices = {ftdi_on("COM5"), {"LPT1", "Printer Port (LPT1)", "ACPI\\PNP0400\\0", "", "Parport"}, acpi_com1()};
    std::vector<SerialPortInfo> ports = discovery->list_ports();
    ASSERT_EQ(ports.size(), 2u) << "the printer port is not a serial port";
    EXPECT_EQ(describe_device(ports[0]), "Communications Port (COM1)");
    EXPECT_EQ(describe_device(ports[1]), "FTDI USB Serial Port, nr A10KZ3P5A (COM5)");
    EXPECT_EQ(ports[1].by_id, kFtdi);
    EXPECT_TRUE(discovery->device_present("COM5"));
    EXPECT_TRUE(discovery->device_present("USB Serial Port")) << "the friendly name describe_port gives";
    EXPECT_FALSE(discovery->device_present("COM3"));

    bool told = false;
    discovery->watch([&] { told = true; });
    api->changed();
    EXPECT_TRUE(told) << "device notifications reach the watch";
}

TEST_F(ComDiscovery, a_bound_adapter_is_found_by_its_identity_under_its_new_number) {
    struct Case {
        const char* why;
        std::string bound;  // to COM3
        std::vector<ComDevice> present;
        int want;
    } cases[] = {
        {"renumbered", kFtdi, {acpi_com1(), ftdi_on("COM7")}, 7},
        {"still on its number", kFtdi, {ftdi_on("COM3")}, 0},
        {"unplugged", kFtdi, {acpi_com1()}, 0},
        {"not bound", "", {ftdi_on("COM7")}, 0},
        {"same serial number, id of another driver", "USB\\VID_0403&PID_6001\\A10KZ3P5A",
         {acpi_com1(), ftdi_on("COM4")}, 4},
        {"no serial number: only the same id counts", "USB\\VID_1A86&PID_7523\\5&2C4E1AD&0&2",
         {{"COM6", "USB-SERIAL CH340 (COM6)", "USB\\VID_1A86&PID_7523\\5&2C4E1AD&0&4", "wch.cn", "CH341SER"}}, 0},
        {"another adapter of the same kind", kFtdi,
         {{"COM6", "USB Serial Port (COM6)", "FTDIBUS\\VID_0403+PID_6001+B77XQ2A\\0000", "FTDI", "FTDIBUS"}}, 0},
    };
    for (const Case& c : cases) {
        api->devices = c.present;
        ASSERT_FALSE(discovery->link_port(3, c.bound)) << c.why;
        EXPECT_EQ(discovery->moved_port(3), c.want) << c.why;
    }
}

TEST_F(ComDiscovery, connecting_follows_the_adapter_to_its_new_number_and_says_so) {
    api->devices = {ftdi_on("COM3")};
    p.record->port_number = 3;
    ASSERT_FALSE(discovery->link_port(3, kFtdi));
    EXPECT_NE(file_text(extra_settings_path(p)).find(std::string("com3_device=") + kFtdi), std::string::npos);

    api->devices = {acpi_com1(), ftdi_on("COM8")};  // plugged into another socket
    ASSERT_EQ(open_port(p), 1);
    EXPECT_EQ(line->calls.front(), "open COM8");
    EXPECT_EQ(p.record->port_number, 8);
    std::string settings = file_text(settings_path(p));
    EXPECT_EQ(settings.substr(0, settings.find_first_of("\r\n")), "8") << "KavorCen.ini names the new number";
    std::string extra = file_text(extra_settings_path(p));
    EXPECT_NE(extra.find(std::string("com8_device=") + kFtdi), std::string::npos);
    EXPECT_EQ(extra.find("com3_device"), std::string::npos);
    host.pump();
    EXPECT_EQ(host.controls().text(kPanelWindow, kIdPriceOutcome),
              fill(Txt::PortMoved, std::string("COM3"), std::string("COM8")));

    // Back in the first socket: it follows again.
    close_port(p);
    api->devices = {ftdi_on("COM3")};
    ASSERT_EQ(open_port(p), 1);
    EXPECT_EQ(p.record->port_number, 3);
}

TEST_F(ComDiscovery, the_device_list_offers_the_adapter_on_the_port_itself_and_binds_it) {
    api->devices = {acpi_com1(), ftdi_on("COM3")};
    p.record->port_number = 3;
    TransmissionDialog dialog(p);
    std::vector<std::string> shown;
    host.on_dialog(kDialogTransmission, [&](WindowId w) {
        for (const ListItem& i : host.controls().items(w, kIdDeviceList)) shown.push_back(i.text);
        host.select(w, kIdDeviceList, 2);
        host.press(w, kIdOk);
    });
    host.run_dialog(kDialogTransmission, dialog);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[2], "FTDI USB Serial Port, nr A10KZ3P5A (COM3)");
    EXPECT_EQ(discovery->linked_device(3), kFtdi);
}

}  // namespace
}  // namespace kc
