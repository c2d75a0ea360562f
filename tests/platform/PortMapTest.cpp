#include "platform/PortMap.h"

#include "platform/RegistryStore.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

using wvtest::ScopedEnv;
using PortList = std::vector<std::pair<int, std::string>>;

// A program home and a device folder of plain files standing for /dev.
class PortMapTest : public ::testing::Test {
protected:
    void AddDevices(std::initializer_list<const char*> names)
    {
        for (const char* n : names) {
            std::ofstream(dev_ / n) << "";
        }
    }
    std::string Dev(const char* name) const { return (dev_ / name).string(); }
    fs::path RegistryFile() const { return home_.Path() / "Config" / "Registry.ini"; }

    wvtest::TempHome home_{"portmap"};
    const fs::path dir_ = home_.Root();
    const fs::path dev_ = wvtest::MadeFolder(dir_ / "dev");
    ScopedEnv devEnv_{"WELLVOX_DEV_DIR", dev_.string()};
    ScopedEnv sysEnv_{"WELLVOX_SYS_TTY_DIR", nullptr};};

TEST_F(PortMapTest, FoundPortsGetNumbersInNaturalOrder)
{
    AddDevices({"ttyS10", "ttyS2", "ttyUSB0", "ttyACM1", "ttyS0", "tty0", "ttyUSBx", "console", "ttyS"});
    fs::create_directory(dev_ / "ttyUSB9"); // a folder is no device
    PortList expected = {
        {1, Dev("ttyACM1")}, {2, Dev("ttyS0")}, {3, Dev("ttyS2")}, {4, Dev("ttyS10")}, {5, Dev("ttyUSB0")},
    };
    EXPECT_EQ(wv::ListComPorts(), expected);

    // The map is saved in section Ports of the per-machine store.
    wv::RegistryStore stored(RegistryFile());
    EXPECT_EQ(stored.ReadText("Ports", "COM3", ""), Dev("ttyS2"));
    EXPECT_EQ(stored.ReadText("Ports", "COM5", ""), Dev("ttyUSB0"));
}

TEST_F(PortMapTest, NumbersAreKeptWhenPortsComeAndGo)
{
    AddDevices({"ttyUSB0", "ttyUSB1"});
    EXPECT_EQ(wv::ListComPorts(), (PortList{{1, Dev("ttyUSB0")}, {2, Dev("ttyUSB1")}}));

    // ttyUSB0 is unplugged, ttyACM0 plugged in: the old mapping stays, the
    // new port takes the next number rather than the one of ttyUSB0.
    fs::remove(dev_ / "ttyUSB0");
    AddDevices({"ttyACM0"});
    EXPECT_EQ(wv::ListComPorts(), (PortList{{1, Dev("ttyUSB0")}, {2, Dev("ttyUSB1")}, {3, Dev("ttyACM0")}}));
    EXPECT_EQ(wv::ComPortPath(1), Dev("ttyUSB0"));
}

TEST_F(PortMapTest, UserEntriesAreKeptAndGapsFilled)
{
    // Entries a user wrote: a pseudo-terminal at COM2, a half-edited COM4
    // (a number, not a path), and names that are no COM numbers.
    fs::create_directories(RegistryFile().parent_path());
    std::ofstream(RegistryFile()) << "[Ports]\nCOM2=\"/dev/pts/7\"\ncom4=1\nCOM0=\"/x\"\nCOM256=\"/y\"\nModem=\"/z\"\n";
    AddDevices({"ttyS0", "ttyS1", "ttyS2"});
    PortList expected = {{1, Dev("ttyS0")}, {2, "/dev/pts/7"}, {3, Dev("ttyS1")}, {5, Dev("ttyS2")}};
    EXPECT_EQ(wv::ListComPorts(), expected);
    EXPECT_EQ(wv::ComPortPath(4), "");
}

TEST_F(PortMapTest, AddComPortGivesExistingOrNextNumber)
{
    AddDevices({"ttyUSB0"});
    EXPECT_EQ(wv::AddComPort("/dev/pts/3"), 1); // no scan: the user's port comes first
    EXPECT_EQ(wv::AddComPort(Dev("ttyUSB0")), 2);
    EXPECT_EQ(wv::AddComPort("/dev/pts/3"), 1);
    EXPECT_EQ(wv::ListComPorts(), (PortList{{1, "/dev/pts/3"}, {2, Dev("ttyUSB0")}}));
    EXPECT_EQ(wv::AddComPort(""), 0);
    EXPECT_EQ(wv::AddComPort("/dev/pts/4\n[Ports]"), 0);

    wv::RegistryStore stored(RegistryFile());
    EXPECT_EQ(stored.ReadText("Ports", "COM1", ""), "/dev/pts/3");
}

TEST_F(PortMapTest, ComPortPathScansForAnUnmappedNumber)
{
    EXPECT_EQ(wv::ComPortPath(1), "");
    AddDevices({"ttyACM0"});
    EXPECT_EQ(wv::ComPortPath(1), Dev("ttyACM0"));
    for (int bad : {0, -1, 256}) {
        EXPECT_EQ(wv::ComPortPath(bad), "") << bad;
    }
}

TEST_F(PortMapTest, MappedPathsAreReadWithoutScanning)
{
    fs::create_directories(RegistryFile().parent_path());
    std::ofstream(RegistryFile()) << "[Ports]\nCOM2=\"/dev/pts/7\"\ncom4=1\n";
    AddDevices({"ttyUSB0"});
    EXPECT_EQ(wv::MappedComPortPath(2), "/dev/pts/7");
    for (int unmapped : {1, 3, 4, 0, 256}) {
        EXPECT_EQ(wv::MappedComPortPath(unmapped), "") << unmapped;
    }
    // ttyUSB0 was not given a number.
    EXPECT_EQ(wv::RegistryStore(RegistryFile()).ReadText("Ports", "COM1", "none"), "none");
}

TEST(PortLabel, ShowsTheComNameWithItsDevicePath)
{
    struct Case {
        const char* name;
        std::string path;
        const char* label;
    };
    const Case cases[] = {
        {"COM1", "/dev/ttyUSB0", "COM1 (/dev/ttyUSB0)"},
        {"COM255", "/dev/pts/12", "COM255 (/dev/pts/12)"},
        {"COM3", "", "COM3"},
        {"COM4", std::string("/dev/a\nb\x7f\x01\0c", 12), "COM4 (/dev/a?b???c)"},
        {"COM5", "/dev/serial/by-id/usb-Caf\xc3\xa9", "COM5 (/dev/serial/by-id/usb-Caf\xc3\xa9)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wv::ComPortLabel(c.name, c.path), c.label) << c.label;
    }
}

TEST_F(PortMapTest, NumbersStopAt255)
{
    std::string text = "[Ports]\n";
    for (int n = 1; n <= 254; ++n) {
        text += "COM" + std::to_string(n) + "=\"/dev/pts/" + std::to_string(n) + "\"\n";
    }
    fs::create_directories(RegistryFile().parent_path());
    std::ofstream(RegistryFile()) << text;
    EXPECT_EQ(wv::AddComPort("/dev/last"), 255);
    EXPECT_EQ(wv::ComPortPath(255), "/dev/last");
    EXPECT_EQ(wv::AddComPort("/dev/one-too-many"), 0);
}

TEST_F(PortMapTest, PlaceholderSerialPortsAreSkipped)
{
    AddDevices({"ttyS0", "ttyS1", "ttyS2", "ttyUSB0"});
    fs::path sys = dir_ / "sys";
    auto setType = [&](const char* name, const char* type) {
        fs::create_directories(sys / name);
        std::ofstream(sys / name / "type") << type << "\n";
    };
    setType("ttyS0", "4");
    setType("ttyS1", "0"); // no UART behind it
    // ttyS2 has no type file: kept.  ttyUSB0 is no serial-core port: never checked.
    setType("ttyUSB0", "0");
    ScopedEnv sysEnv("WELLVOX_SYS_TTY_DIR", sys.string());
    EXPECT_EQ(wv::ListComPorts(), (PortList{{1, Dev("ttyS0")}, {2, Dev("ttyS2")}, {3, Dev("ttyUSB0")}}));
}

} // namespace
