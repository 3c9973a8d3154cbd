#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "common/com_ports.h"
#include "common/registry_key.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

constexpr const char* KeyPath = "Software\\Veldmark\\DKQ-1";

// Each test has its own settings folder.
class RegistryTest : public ::testing::Test {
  protected:
    RegistryTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

    void createAndOpen(RegistryKey& key) {
        ASSERT_TRUE(key.CreateKey(RegistryRoot::CurrentUser, KeyPath));
        ASSERT_TRUE(key.Open(RegistryRoot::CurrentUser, KeyPath));
    }

    test::ScratchDir dir_;
};

TEST_F(RegistryTest, AMissingKeyFailsToOpenUntilCreatedAsItsFile) {
    RegistryKey key;
    EXPECT_FALSE(key.Open(RegistryRoot::CurrentUser, KeyPath));
    EXPECT_EQ(key.LastError(), registry_error::NotFound);
    EXPECT_FALSE(key.IsOpen());
    ASSERT_TRUE(key.CreateKey(RegistryRoot::CurrentUser, KeyPath));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir_.file("Veldmark/DKQ-1.conf")));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_TRUE(key.Open(RegistryRoot::CurrentUser, KeyPath));
    EXPECT_TRUE(key.Close());
    EXPECT_FALSE(key.Close());
}

TEST_F(RegistryTest, PathsOfAnotherFormAreRefused) {
    RegistryKey key;
    EXPECT_FALSE(key.CreateKey(RegistryRoot::CurrentUser, "Software\\Veldmark"));
    EXPECT_FALSE(key.CreateKey(RegistryRoot::CurrentUser, "Software\\..\\x"));
    EXPECT_EQ(key.LastError(), registry_error::BadPath);
}

TEST_F(RegistryTest, EveryValueOperationNeedsAnOpenKey) {
    RegistryKey key;
    std::uint32_t number = 7;
    std::string text = "kept?";
    long error = 0;
    EXPECT_FALSE(key.ReadDword("ComPORT", number, &error));
    EXPECT_EQ(error, registry_error::InvalidHandle);
    EXPECT_EQ(number, 7u);
    EXPECT_FALSE(key.ReadString("Fname", text, 256));
    EXPECT_FALSE(key.WriteDword("ComPORT", 1));
    EXPECT_FALSE(key.WriteString("Fname", "a"));
}

TEST_F(RegistryTest, DwordsRoundTripOverTheirWholeRange) {
    RegistryKey key;
    createAndOpen(key);
    for (const std::uint32_t stored : {0u, 1u, 9600u, 4294967295u}) {
        ASSERT_TRUE(key.WriteDword("Speed", stored));
        std::uint32_t read = 12345;
        ASSERT_TRUE(key.ReadDword("Speed", read));
        EXPECT_EQ(read, stored);
    }
}

TEST_F(RegistryTest, ADwordReadSucceedsOnlyForAStoredDecimalNumber) {
    RegistryKey key;
    createAndOpen(key);
    struct Case {
        const char* stored;
        bool readable;
    };
    for (const Case& c :
         {Case{"4294967295", true}, Case{"007", true}, Case{"4294967296", false}, Case{"-1", false},
          Case{" 12", false}, Case{"12a", false}, Case{"", false}, Case{"a, b", false}}) {
        ASSERT_TRUE(key.WriteString("Value", c.stored));
        std::uint32_t value = 55;
        long error = -1;
        EXPECT_EQ(key.ReadDword("Value", value, &error), c.readable) << c.stored;
        if (!c.readable) {
            EXPECT_EQ(value, 55u) << c.stored;
            EXPECT_EQ(error, registry_error::InvalidData) << c.stored;
        }
    }
    std::uint32_t value = 55;
    EXPECT_FALSE(key.ReadDword("Missing", value));
    EXPECT_EQ(key.LastError(), registry_error::NotFound);
    EXPECT_EQ(value, 55u);
}

TEST_F(RegistryTest, StringsAreUtf8AndBoundedByTheBufferSize) {
    RegistryKey key;
    createAndOpen(key);
    ASSERT_TRUE(key.WriteString("Fname", "żółw 1, 2.csv"));  // 16 bytes
    std::string text;
    ASSERT_TRUE(key.ReadString("Fname", text, 17));
    EXPECT_EQ(text, "żółw 1, 2.csv");
    long error = 0;
    EXPECT_FALSE(key.ReadString("Fname", text, 16, &error));
    EXPECT_EQ(error, registry_error::MoreData);
    EXPECT_EQ(text, "");
    text = "old";
    EXPECT_FALSE(key.ReadString("Missing", text, 256));
    EXPECT_EQ(text, "");
}

TEST_F(RegistryTest, AValueWrittenByOneProgramIsSeenByAnotherAlreadyOpen) {
    RegistryKey monitor;
    RegistryKey configurator;
    createAndOpen(monitor);
    ASSERT_TRUE(configurator.Open(RegistryRoot::CurrentUser, KeyPath));
    ASSERT_TRUE(monitor.WriteString("Adres_IP", "10.0.0.7"));
    ASSERT_TRUE(configurator.WriteDword("Port_TCP", 4001));
    std::string address;
    std::uint32_t port = 0;
    EXPECT_TRUE(configurator.ReadString("Adres_IP", address, 256));
    EXPECT_TRUE(monitor.ReadDword("Port_TCP", port));
    EXPECT_EQ(address, "10.0.0.7");
    EXPECT_EQ(port, 4001u);
}

TEST_F(RegistryTest, ComPortsUseTheDeviceNamedInThePortsKey) {
    const std::string fallback =
        std::filesystem::exists("/dev/ttyUSB6") ? "/dev/ttyUSB6" : "/dev/ttyS6";
    EXPECT_EQ(comPortDevice(7), fallback);
    RegistryKey key;
    ASSERT_TRUE(key.CreateKey(RegistryRoot::CurrentUser, PortsKeyPath));
    ASSERT_TRUE(key.Open(RegistryRoot::CurrentUser, PortsKeyPath));
    ASSERT_TRUE(key.WriteString("COM7", "/dev/pts/9"));
    EXPECT_EQ(comPortDevice(7), "/dev/pts/9");
    EXPECT_EQ(comPortDevice(8),
              std::filesystem::exists("/dev/ttyUSB7") ? "/dev/ttyUSB7" : "/dev/ttyS7");
}

}  // namespace
}  // namespace dkq
