// The common pieces: the code page at the file edge, text file lines, numbers
// and words read from files and command lines, whole-file reads and writes;
// and the settings store that stands for the registry.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/cp1250.h"
#include "common/plain_file.h"
#include "common/text.h"
#include "common/text_file.h"
#include "settings/com_ports.h"
#include "settings/registry_key.h"
#include "settings/serial_devices.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

TEST(TextFile, Cp1250RoundTripsEveryByteAndLinesEndInCrLf) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    EXPECT_EQ(utf8ToCp1250(cp1250ToUtf8(all)), all);
    EXPECT_EQ(utf8ToCp1250("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ°€"),
              "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF\xB0\x80");
    EXPECT_EQ(utf8ToCp1250("a中b😀c\xC3"), "a?b?c?");
    // Text files are written with CR LF and read with or without CR.
    EXPECT_EQ(encodeTextFile("T [°C];\nżółw\n"),
              "T [\xB0"
              "C];\r\n\xBF\xF3\xB3w\r\n");
    const std::pair<std::string, Words> cases[] = {{"", {}},
                                                   {"a\r\nb\r\n", {"a", "b"}},
                                                   {"a\nb", {"a", "b"}},
                                                   {"a\r\n\r\nb", {"a", "", "b"}},
                                                   {"x\ry\n", {"x\ry"}},
                                                   {"\xB9\xE6\r\n", {"ąć"}}};
    for (const auto& [bytes, lines] : cases) EXPECT_EQ(decodeTextLines(bytes), lines) << bytes;
}

TEST(TextFields, NumbersAsScanfReadsThemWordsLimitsAndTheCommandLine) {
    const std::pair<std::string, std::vector<int>> cases[] = {
        {" 4, -5,+6", {4, -5, 6}},
        {"1 ,2", {1}},
        {"x,1", {}},
        {"12abc,4", {12}},
        {"1,,2", {1}},
        {"1,2,3,4", {1, 2, 3}},  // at most three
        {"2147483647,-2147483648", {2147483647, -2147483648}},
        {"2147483648,1", {}}};
    for (const auto& [text, numbers] : cases) EXPECT_EQ(scanIntList(text, 3), numbers) << text;
    EXPECT_EQ(firstWord("  DKQ-1-5 rest"), "DKQ-1-5");
    EXPECT_EQ(firstWord(" \t "), "");
    EXPECT_EQ(limitChars("żółw", 2), "żó");
    EXPECT_EQ(toUpperText("setup.cfg zażółć gęślą jaźń"), "SETUP.CFG ZAŻÓŁĆ GĘŚLĄ JAŹŃ");
    EXPECT_EQ(toUpperText("ťľňřůě ăőűş ÿıſ ß ŉ µ ж"), "ŤĽŇŘŮĚ ĂŐŰŞ ŸIS ß ŉ µ ж");
    EXPECT_EQ(toUpperText("a\xC3(\xE2\x82"), "A\xC3(\xE2\x82");  // broken sequences kept
    EXPECT_EQ(splitCommandLine(""), Words{});
    EXPECT_EQ(splitCommandLine("  a.cfg   /start "), (Words{"a.cfg", "/start"}));
    EXPECT_EQ(splitCommandLine("1 2 3 4 5 6 7 8 9 10 11 12").size(), MaxCommandWords);
    EXPECT_EQ(splitCommandLine(std::string(300, 'x') + " b")[0],
              std::string(MaxCommandWordChars, 'x'));
}

// Whole files are written through a temporary file of their own: a link
// planted at a temporary name is never written through, the file's
// permissions stay, saves of one name at once each land whole, nothing is
// left beside the file or created in a missing folder. They are read only
// when they are regular files within their bound, checked before reading.
TEST(Files, WholeFilesAreWrittenThroughTheirOwnTemporaryFileAndReadWithinABound) {
    test::ScratchDir dir;
    const mode_t formerMask = umask(022);
    ASSERT_TRUE(writeWholeFile("a.cfg", "first, longer content"));
    EXPECT_EQ(fs::status("a.cfg").permissions(), fs::perms(0644));
    fs::permissions("a.cfg", fs::perms(0640));
    std::ofstream("target") << "kept";
    fs::create_symlink("target", "a.cfg.saving-t");
    setenv(SavingTagVariable, "t", 1);  // the first name the save tries
    ASSERT_TRUE(writeWholeFile("a.cfg", "12345"));
    unsetenv(SavingTagVariable);
    umask(formerMask);
    EXPECT_EQ(test::readFileBytes("a.cfg") + test::readFileBytes("target"), "12345kept");
    EXPECT_EQ(fs::symlink_status("a.cfg").permissions(), fs::perms(0640));
    EXPECT_FALSE(writeWholeFile("missing/a.cfg", "x"));
    std::vector<std::thread> savers;
    for (const char c : {'w', 'x', 'y', 'z'})
        savers.emplace_back([c] {
            for (int i = 0; i < 25; ++i) EXPECT_TRUE(writeWholeFile("b.cfg", std::string(9000, c)));
        });
    for (std::thread& saver : savers) saver.join();
    const std::string last = test::readFileBytes("b.cfg");
    EXPECT_EQ(last, std::string(9000, last.at(0)));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 4);

    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    EXPECT_FALSE(appendToFile("fifo", "x") || startFile("fifo", "x"));  // not waited on
    const std::tuple<const char*, std::size_t, FileRead> cases[] = {
        {"a.cfg", 5, FileRead::Ok},           {"a.cfg", 4, FileRead::TooLong},
        {"missing", 5, FileRead::Unreadable}, {".", 5, FileRead::NotRegular},
        {"fifo", 5, FileRead::NotRegular},    {"/dev/zero", 5, FileRead::NotRegular}};
    for (const auto& [path, bound, result] : cases) {
        std::string bytes = "old";
        EXPECT_EQ(readWholeFile(path, bytes, bound), result) << path;
        EXPECT_EQ(bytes, result == FileRead::Ok ? "12345" : "old") << path;
    }
}

// --- the registry ----------------------------------------------------------------
// A key is a file, values are read as the registry reads them, and programs
// share them at once.

constexpr const char* KeyPath = "Software\\Veldmark\\DKQ-1";

class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }
    void SetUp() override {
        ASSERT_TRUE(key_.CreateKey(RegistryRoot::CurrentUser, KeyPath));
        ASSERT_TRUE(key_.Open(RegistryRoot::CurrentUser, KeyPath));
    }

    test::ScratchDir dir_;
    RegistryKey key_;
};

TEST_F(RegistryTest, AKeyOpensOnlyOnceCreatedAsItsFileValuesNeedAnOpenKeyPortsMap) {
    constexpr const char* OtherPath = "Software\\Veldmark\\Inny";
    RegistryKey key;
    std::uint32_t number = 7;
    long error = 0;
    EXPECT_FALSE(key.ReadDword("ComPORT", number, &error));
    EXPECT_EQ(error, registry_error::InvalidHandle);
    EXPECT_FALSE(key.WriteString("Fname", "a"));
    EXPECT_FALSE(key.Open(RegistryRoot::CurrentUser, OtherPath));
    EXPECT_EQ(key.LastError(), registry_error::NotFound);
    EXPECT_FALSE(key.CreateKey(RegistryRoot::CurrentUser, "Software\\Veldmark"));
    EXPECT_FALSE(key.CreateKey(RegistryRoot::CurrentUser, "Software\\..\\x"));
    EXPECT_EQ(key.LastError(), registry_error::BadPath);
    ASSERT_TRUE(key.CreateKey(RegistryRoot::CurrentUser, OtherPath));
    EXPECT_TRUE(fs::is_regular_file(dir_.file("Veldmark/Inny.conf")));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(key.Open(RegistryRoot::CurrentUser, OtherPath));
    // A COM port that the ports key does not name is the system's port n - 1.
    EXPECT_EQ(comPortDevice(7), fs::exists("/dev/ttyUSB6") ? "/dev/ttyUSB6" : "/dev/ttyS6");
}

// A machine as sysfs shows it: a USB adapter with a stable name mapped to
// COM3, a CDC modem, UARTs behind the serial core (Linux 6.5 on) and the old
// platform driver, a UART that was probed empty (type 0), one without a node,
// a virtual console.
TEST_F(RegistryTest, SerialDevicesAreListedWithDriverUsbIdStableNameAndComPort) {
    const std::string sys = dir_.file("sys"), dev = dir_.file("dev");
    const auto make = [](const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << text;
    };
    const std::tuple<std::string, std::string, const char*> ttys[] = {
        {"ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0", ""},    {"ttyACM0", "usb1/1-3/1-3:1.0", ""},
        {"ttyS0", "pnp0/00:00/00:00:0/00:00:0.0", "4"}, {"ttyS1", "platform/serial8250", "0"},
        {"ttyS10", "platform/serial8250", "4"},         {"ttyS2", "platform/serial8250", "4"},
        {"ttyS4", "platform/serial8250", "4"}};
    for (const auto& [name, device, type] : ttys) {
        make(sys + "/class/tty/" + name + "/type", type);
        fs::create_directories(sys + "/devices/" + device);
        fs::create_directory_symlink(sys + "/devices/" + device,
                                     sys + "/class/tty/" + name + "/device");
        if (name != "ttyS4") make(dev + "/" + name, "");
    }
    const std::pair<std::string, std::string> drivers[] = {
        {"usb1/1-2/1-2:1.0/ttyUSB0", "usb-serial/drivers/ftdi_sio"},
        {"usb1/1-3/1-3:1.0", "usb/drivers/cdc_acm"},
        {"pnp0/00:00/00:00:0/00:00:0.0", "serial-base/drivers/port"},
        {"pnp0/00:00", "pnp/drivers/serial"},
        {"platform/serial8250", "platform/drivers/serial8250"}};
    for (const auto& [device, driver] : drivers)
        fs::create_symlink("../../../bus/" + driver, sys + "/devices/" + device + "/driver");
    for (const auto& [file, id] : {std::pair{"1-2/idVendor", "0403\n"},
                                   {"1-2/idProduct", "6001\n"},
                                   {"1-3/idVendor", "2341\n"},
                                   {"1-3/idProduct", "0043\n"}})
        make(sys + "/devices/usb1/" + file, id);
    make(sys + "/class/tty/tty1/dev", "4:1\n");
    make(dev + "/tty1", "");
    const std::string byId = dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    fs::create_directories(dev + "/serial/by-id");
    fs::create_symlink("../../ttyUSB0", byId);
    make(dir_.file("Veldmark/Ports.conf"), "[General]\nCOM2=" + dev + "/gone\nCOM3=" + byId + "\n");

    auto devices = listSerialDevices({sys, dev});
    std::string lines;
    for (const auto& device : devices) lines += serialDeviceLine(device) + "\n";
    EXPECT_EQ(lines, dev + "/ttyACM0  -  2341:0043  cdc_acm  -\n" +    //
                         dev + "/ttyS0  -  -  serial  -\n" +           // COM1 opens ttyUSB0
                         dev + "/ttyS2  -  -  serial8250  -\n" +       // COM3 is mapped
                         dev + "/ttyS10  -  -  serial8250  COM11\n" +  //
                         dev + "/ttyUSB0  " + byId + "  0403:6001  ftdi_sio  COM3\n");
    // The first number that is not mapped and opens no listed device.
    EXPECT_EQ(mapFreeComPort(devices[0], devices, 9, dev), 4);
    EXPECT_EQ(listSerialDevices({sys, dev})[0].comPort, 4);
    EXPECT_EQ(mapFreeComPort(devices[1], devices, 4, dev), 0);  // 1 opens ttyUSB0, 2..4 mapped
}

TEST_F(RegistryTest, ADwordReadSucceedsOnlyForAStoredDecimalNumber) {
    ASSERT_TRUE(key_.WriteDword("Speed", 4294967295u));
    std::uint32_t value = 0;
    EXPECT_TRUE(key_.ReadDword("Speed", value));
    EXPECT_EQ(value, 4294967295u);
    for (const char* stored : {"007", "4294967296", "-1", " 12", "12a", ""}) {
        const bool readable = stored == std::string("007");
        ASSERT_TRUE(key_.WriteString("Value", stored));
        value = 55;
        long error = -1;
        EXPECT_EQ(key_.ReadDword("Value", value, &error), readable) << stored;
        EXPECT_EQ(value, readable ? 7u : 55u) << stored;
        EXPECT_EQ(error, readable ? registry_error::None : registry_error::InvalidData);
    }
    EXPECT_FALSE(key_.ReadDword("Missing", value));
    EXPECT_EQ(key_.LastError(), registry_error::NotFound);
}

TEST_F(RegistryTest, StringsAreUtf8BoundedByTheBufferSizeAndSharedAtOnce) {
    ASSERT_TRUE(key_.WriteString("Fname", "żółw 1, 2.csv"));  // 16 bytes
    std::string text;
    ASSERT_TRUE(key_.ReadString("Fname", text, 17));
    EXPECT_EQ(text, "żółw 1, 2.csv");
    long error = 0;
    EXPECT_FALSE(key_.ReadString("Fname", text, 16, &error));
    EXPECT_EQ(error, registry_error::MoreData);
    EXPECT_EQ(text, "");
    text = "old";
    EXPECT_FALSE(key_.ReadString("Missing", text, 256));
    EXPECT_EQ(text, "");
    // A value written by one program is seen by another already open.
    RegistryKey other;
    ASSERT_TRUE(other.Open(RegistryRoot::CurrentUser, KeyPath));
    ASSERT_TRUE(key_.WriteString("Adres_IP", "10.0.0.7"));
    ASSERT_TRUE(other.WriteDword("Port_TCP", 4001));
    std::string address;
    std::uint32_t port = 0;
    EXPECT_TRUE(other.ReadString("Adres_IP", address, 256) && key_.ReadDword("Port_TCP", port));
    EXPECT_EQ(address + ":" + std::to_string(port), "10.0.0.7:4001");
}

}  // namespace
}  // namespace dkq
