// The communication dialog's values: proposal of a TCP address, range checks
// on OK, and what the main window shows once the dialog has closed.
#include <gtest/gtest.h>

#include "link/module_link.h"
#include "multimon/comm_settings.h"
#include "multimon/monitor_core.h"
#include "tests/multimon/fakes.h"

namespace dkq {
namespace {

TEST(CommSettings, MissingTcpAddressOrPortIsProposed) {
    MonitorSettings settings;
    const ModuleTable modules = defaultModuleTable();
    struct Case {
        const char* address;
        int port;
        const char* shownAddress;
        int shownPort;
    };
    const Case cases[] = {{"", 0, "192.168.2.1", 23},
                          {"", 4001, "192.168.2.1", 23},
                          {"10.0.0.5", 0, "192.168.2.1", 23},
                          {"10.0.0.5", 4001, "10.0.0.5", 4001}};
    for (const Case& c : cases) {
        settings.ipAddress = c.address;
        settings.tcpPort = c.port;
        const CommSettings comm = commDialogValues(settings, modules);
        EXPECT_EQ(comm.ipAddress, c.shownAddress);
        EXPECT_EQ(comm.tcpPort, c.shownPort);
    }
}

TEST(CommSettings, OkChecksEveryRangeAndCopiesNothingOnAViolation) {
    CommSettings comm;
    comm.busAddresses = {1, 0, 0, 0, 0};
    struct Case {
        int field;
        const char* text;
        const char* prompt;
    };
    const Case cases[] = {
        {ComPortField, "0", "Please enter an integer between 1 and 255."},
        {SpeedField, "115201", "Please enter an integer between 150 and 115200."},
        {IpAddressField, "192.168.200.200:40001", "Please enter no more than 20 characters."},
        {TcpPortField, "65536", "Please enter an integer between 0 and 65535."},
        {FirstBusAddressField, "0", "Please enter an integer between 1 and 31."},
        {FirstBusAddressField + 4, "32", "Please enter an integer between 0 and 31."},
        {FirstBusAddressField + 2, "B", "Please enter an integer."},
    };
    for (const Case& c : cases) {
        CommFields fields = commFields(comm);
        std::string* texts[] = {&fields.comPort, &fields.speed, &fields.ipAddress, &fields.tcpPort};
        *(c.field < FirstBusAddressField ? texts[c.field]
                                         : &fields.busAddresses[c.field - FirstBusAddressField]) =
            c.text;
        fields.useTcp = true;
        CommSettings taken = comm;
        const auto problem = readCommFields(fields, taken);
        ASSERT_TRUE(problem) << c.text;
        EXPECT_EQ(problem->field, c.field);
        EXPECT_EQ(problem->prompt, c.prompt);
        EXPECT_EQ(taken.useTcp, 0);
    }

    CommFields fields = commFields(comm);
    fields.busAddresses[1] = "0";
    fields.busAddresses[3] = "31";
    fields.speed = "115200";
    fields.testOuts = false;
    ASSERT_EQ(readCommFields(fields, comm), std::nullopt);
    EXPECT_EQ(comm.busAddresses, (std::array<int, ModuleCount>{1, 0, 0, 31, 0}));
    EXPECT_EQ(comm.speed, 115200);
    EXPECT_EQ(comm.testOuts, 0);
}

class CommDialogCloseTest : public ::testing::Test {
  protected:
    ModuleLink link_;
    test::FakeView view_;
    test::ScriptedPrompter prompter_;
    test::FakeClock clock_;
    MonitorCore core_{link_, view_, prompter_, clock_};
};

TEST_F(CommDialogCloseTest, OkStoresTheProposalEvenInSerialModeAndShowsTheModules) {
    CommSettings comm = core_.commSettings();
    EXPECT_EQ(comm.useTcp, 0);
    comm.busAddresses = {1, 0, 0, 7, 0};
    core_.commSettingsClosed(comm);
    EXPECT_EQ(core_.settings().ipAddress, "192.168.2.1");
    EXPECT_EQ(core_.settings().tcpPort, 23);
    EXPECT_EQ(view_.fields.tcpPort, 23);
    EXPECT_EQ(view_.moduleEnabled,
              (std::array<bool, ModuleCount>{true, false, false, true, false}));
    EXPECT_EQ(core_.modules()[3].busAddress, 7);
}

TEST_F(CommDialogCloseTest, SwitchingTheSelectedModuleOffShowsModuleA) {
    core_.modules()[4].busAddress = 5;
    core_.updateModuleControls();
    core_.SelectModule(4);
    EXPECT_EQ(view_.shownModule, 4);

    core_.commSettingsClosed(std::nullopt);  // Cancel: nothing changes
    EXPECT_EQ(view_.shownModule, 4);
    EXPECT_EQ(core_.settings().tcpPort, 0);

    CommSettings comm = core_.commSettings();
    comm.busAddresses[4] = 0;
    core_.commSettingsClosed(comm);
    EXPECT_EQ(core_.selectedModule(), 0);
    EXPECT_EQ(view_.choiceSelected, 0);
    EXPECT_EQ(view_.shownModule, 0);
}

}  // namespace
}  // namespace dkq
