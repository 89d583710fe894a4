#include "link/serial.h"

#include <sys/ioctl.h>

#include <filesystem>

#include "link/exchange.h"

#include "support/link_fixture.h"

namespace {
namespace fs = std::filesystem;
using PortScan = LinkTest;

TEST_F(PortScan, MatchesOnlyCardPortsAndOpensTheLastExclusively) {
    const fs::path root = fs::path(registrations).parent_path(), tty = root / "sys";
    for (const auto& [name, driver] :
         {std::pair{"ttyACM3", "cdc_acm"}, {"ttyS0", "serial8250"}, {"tty1", ""}}) {
        fs::create_directories(tty / name / "device");
        if (*driver != '\0') {
            fs::create_directories(root / "drivers" / driver);
            fs::create_directory_symlink(root / "drivers" / driver, tty / name / "device/driver");
        }
    }
    TestPty pty;
    RegisterPort(pty.slave, 12);
    std::vector<DeviceMapEntry> map = ReadDeviceMap(tty, registrations);
    ASSERT_EQ(map.size(), 3u);
    map.push_back({"cdc_acm:", "ttyACM3", "/dev/ttyACM3"});  // the prefix and nothing after it
    map.push_back({"cdc_acm:ttyACMx", "ttyACMx", "/dev/ttyACMx"});  // no port number
    const std::vector<CardPort> ports = MatchCardPorts(map);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].number, 3);

    GetPortNames();
    ASSERT_TRUE(connected);
    EXPECT_EQ(active_sel, 12);
    int exclusive = 0;
    EXPECT_TRUE(ioctl(hPort, TIOCGEXCL, &exclusive) == 0 && exclusive == 1);
    GetPortNames();  // closes and reopens: the exclusive mark must not lock ourselves out
    EXPECT_TRUE(connected);

    RegisterPort("/dev/null", 12);  // opens, but refuses the line settings
    GetPortNames();
    EXPECT_FALSE(connected);
}

// A read or write error on the card's port ends the exchange and the connection; slowness not.
using LostPort = PtyCardTest;

TEST_F(LostPort, AReadErrorEndsTheReceiveThreadAndTheConnection) {
    std::copy_n("103", 3, versao_firmware.begin());
    StartRxThread();
    Unplug();
    ASSERT_TRUE(Eventually([] { return !connected; }, 2000)) << "the read error was dropped";
    EXPECT_FALSE(rx_enable);
    EXPECT_TRUE(rx_error);           // a waiting exchange fails now, not at its time-out
    EXPECT_EQ(FirmwareNumber(), 0);  // the card that comes back is judged afresh
    EXPECT_EQ(windows.ControlEnabled(WindowId::Main, BT_READ), false);
    const auto before = std::chrono::steady_clock::now();
    ClosePort();  // the thread has ended by itself
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
}

TEST_F(LostPort, AWriteSaysWhyItFailedAndOnlyAGonePortDropsTheConnection) {
    // Nobody reads the other end: the line fills up and the write gives up in time.
    const std::vector<unsigned char> flood(1 << 20, 0x55);
    const std::error_code full = WriteString(flood.data(), flood.size());
    EXPECT_EQ(full, std::errc::timed_out);
    EXPECT_FALSE(PortIsLost(full));
    EXPECT_TRUE(connected);

    Unplug();
    const unsigned char payload[PAYLOAD_LENGTH] = {};
    const std::error_code gone = SendFrame("VR", payload);
    EXPECT_EQ(gone, std::errc::io_error) << gone.message();
    EXPECT_TRUE(PortIsLost(gone));
    EXPECT_FALSE(connected || wait_sc);
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Desconectado");

    ClosePort();
    EXPECT_EQ(WriteByte(SC), std::errc::bad_file_descriptor);
}
}  // namespace
