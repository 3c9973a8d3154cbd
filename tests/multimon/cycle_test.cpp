// Monitoring sessions against the simulated bus, over loopback TCP and a
// pseudo-terminal, with a fake clock and a scripted user.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/com_ports.h"
#include "common/registry_key.h"
#include "common/text.h"
#include "link/module_link.h"
#include "multimon/csv_recorder.h"
#include "multimon/monitor_core.h"
#include "tests/multimon/fakes.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;
using test::Messages;

constexpr int SerialComPort = 7;

// The simulator's fixed input values of module address a, every line in volts.
std::string voltsCells(int a, int firstLine = 0) {
    std::string cells;
    for (int r = firstLine; r < LineCount; ++r) {
        const int raw = r < 4 ? 2930 + 10 * a + r : 250 * r + a;
        const std::string thousandths = std::to_string(1000 + raw % 1000).substr(1);
        cells += std::to_string(raw / 1000) + "," + thousandths + ";";
    }
    return cells;
}

std::string counterCells(int a) {
    std::string cells;
    for (int c = 0; c < CounterCount; ++c) cells += std::to_string(100 * a + c) + ";";
    return cells;
}

std::string blankCells() {
    std::string cells;
    for (int entry = 0; entry < EntryCount; ++entry) cells += "   ;";
    return cells;
}

std::string recordLine(int count, const std::string& time, const std::string& row) {
    return encodeTextFile(std::to_string(count) + ";2024-03-05 7:08:" + time + ";" + row + "\n");
}

class CycleTest : public ::testing::Test {
  protected:
    CycleTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

    void startSim(const std::string& modules, std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"--tcp",          "127.0.0.1:0", "--pty",
                                         dir_.file("bus"), "--modules",   modules,
                                         "--deterministic"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<test::SimProcess>(args);
    }

    void useTcp() {
        view_.fields.useTcp = 1;
        view_.fields.ipAddress = "127.0.0.1";
        view_.fields.tcpPort = sim_->tcpPort();
    }

    // COM7 is the simulator's pseudo-terminal, named in the shared ports key.
    void useSerial(const std::string& device) {
        RegistryKey ports;
        ports.CreateKey(RegistryRoot::CurrentUser, PortsKeyPath);
        ports.Open(RegistryRoot::CurrentUser, PortsKeyPath);
        ports.WriteString("COM" + std::to_string(SerialComPort), device);
        view_.fields.useTcp = 0;
        view_.fields.comPort = SerialComPort;
    }

    void switchOn(std::vector<int> addresses) {
        for (int module = 0; module < ModuleCount; ++module)
            core_.modules()[module].busAddress =
                module < static_cast<int>(addresses.size()) ? addresses[module] : 0;
    }

    void ticks(int count) {
        for (int i = 0; i < count; ++i) core_.AcquisitionTick();
    }

    int errors(int module) { return core_.modules()[module].errorCount; }
    std::string csv() { return test::readFileBytes(dir_.file("pomiary.csv")); }
    std::string header() { return encodeTextFile(csvHeader(core_.modules())); }

    void expectFailedStart(const Messages& messages) {
        EXPECT_EQ(prompter_.messages, messages);
        EXPECT_FALSE(core_.monitoring());
        EXPECT_FALSE(view_.monitoring);
        EXPECT_EQ(link_.IsOpen(), 0);
    }

    test::ScratchDir dir_;
    std::unique_ptr<test::SimProcess> sim_;
    ModuleLink link_;
    test::FakeView view_;
    test::ScriptedPrompter prompter_;
    test::FakeClock clock_;
    MonitorCore core_{link_, view_, prompter_, clock_};
};

// --- START --------------------------------------------------------------------

TEST_F(CycleTest, StartChecksEveryModuleAndWritesTheHeader) {
    startSim("1,2,3");
    useTcp();
    switchOn({3, 0, 1});
    core_.StartMonitoring();
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_TRUE(core_.monitoring());
    EXPECT_TRUE(view_.monitoring);
    EXPECT_EQ(core_.modules()[0].firmwareText, "v25  SN=123456789A03 SUM=A5");
    EXPECT_EQ(core_.modules()[1].firmwareText, "");
    EXPECT_EQ(core_.modules()[2].firmwareText, "v25  SN=123456789A01 SUM=A5");
    EXPECT_EQ(view_.moduleSlot.firmwareText, "v25  SN=123456789A03 SUM=A5");
    EXPECT_EQ(link_.ConnectTimeoutMs, 800);
    EXPECT_EQ(link_.ReceiveTimeoutMs, 800);
    EXPECT_EQ(link_.IsOpen(), 1);
    EXPECT_EQ(csv(), header());
    EXPECT_FALSE(view_.fileProblem.visible);
    EXPECT_FALSE(view_.partPathVisible);
}

TEST_F(CycleTest, StartRefusesMissingTcpSettingsWithoutOpening) {
    view_.fields.useTcp = 1;
    view_.fields.ipAddress = "127.0.0.1";
    view_.fields.tcpPort = 0;
    core_.StartMonitoring();
    view_.fields.ipAddress = "";
    view_.fields.tcpPort = 4001;
    core_.StartMonitoring();
    const test::Message refused{"Brak ustawień komunikacyjnych TCP/IP!", MessageIcon::Error};
    expectFailedStart({refused, refused});
}

TEST_F(CycleTest, StartReportsALinkThatDoesNotOpen) {
    useSerial(dir_.file("no-such-device"));
    core_.StartMonitoring();
    startSim("1");
    useTcp();
    const int closedPort = sim_->tcpPort();
    sim_.reset();
    core_.StartMonitoring();
    expectFailedStart({{"Błąd otwarcia portu COM7 !", MessageIcon::Error},
                       {"Błąd połączenia w sieci !\nAdres IP (127.0.0.1:" +
                            std::to_string(closedPort) + ") nie odpowiada.",
                        MessageIcon::Error}});
    EXPECT_FALSE(fs::exists(dir_.file("pomiary.csv")));
}

TEST_F(CycleTest, AModuleMissingAtStartIsTriedThreeTimes) {
    startSim("1,2");
    useTcp();
    switchOn({1, 5});
    core_.StartMonitoring();
    expectFailedStart(
        {{"Brak odpowiedzi z modułu B!\n(Przekroczono czas oczekiwania)", MessageIcon::Error}});
    EXPECT_EQ(clock_.sleeps, (std::vector<int>{500, 500, 500}));
    EXPECT_EQ(errors(0), 0);
    EXPECT_EQ(errors(1), 1);
    EXPECT_EQ(view_.errorCounts[1], 1);
    EXPECT_FALSE(fs::exists(dir_.file("pomiary.csv")));
}

TEST_F(CycleTest, AModuleFailingAtStartIsNamedByTheLastResult) {
    struct Case {
        std::string fault;
        bool serial;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"bad-lrc:2", false, "Błąd sumy kontrolnej w odpowiedzi Modbus (moduł B)."},
        // The first attempt finds the connection closed; the later ones a closed link.
        {"close-mid:2", false, "Zerwane połączenie TCP/IP (moduł B)!"},
        {"bad-lrc:2", true, "Nie odebrano odpowiedzi z modułu B!\n(Próba odczytu diagnostyki)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault + (c.serial ? " serial" : " tcp"));
        startSim("1,2", {"--fault", c.fault});
        c.serial ? useSerial(sim_->ptyPath()) : useTcp();
        switchOn({1, 2});
        prompter_.messages.clear();
        clock_.sleeps.clear();
        core_.StartMonitoring();
        expectFailedStart({{c.message, MessageIcon::Error}});
        EXPECT_EQ(clock_.sleeps.size(), 3u);
        EXPECT_EQ(errors(1), 1);
        EXPECT_EQ(core_.modules()[0].firmwareText, "v25  SN=123456789A01 SUM=A5");
    }
}

TEST_F(CycleTest, ModeFlagsThatCannotBeReadStopTheStart) {
    startSim("1", {"--exception", "30"});
    useTcp();
    core_.StartMonitoring();
    expectFailedStart({{"Błąd komunikacji z modułem A!", MessageIcon::Error}});
    EXPECT_TRUE(clock_.sleeps.empty());
    EXPECT_EQ(errors(0), 1);
}

TEST_F(CycleTest, ACsvFileThatCannotBeOpenedStopsTheStart) {
    startSim("1");
    useTcp();
    fs::create_directory(dir_.file("pomiary.csv"));
    core_.StartMonitoring();
    expectFailedStart({{"Błąd otwarcia pliku do zapisu!", MessageIcon::Error}});
    EXPECT_TRUE(view_.fileProblem.visible);
}

// --- the tick -----------------------------------------------------------------

TEST_F(CycleTest, ASessionOverTcpIsRecordedByteForByte) {
    startSim("1,2,3");
    useTcp();
    switchOn({1, 2, 3});
    core_.modules()[0].channels[0].kind = KindCelsius;
    core_.modules()[0].channels[1].kind = KindKelvin;
    core_.modules()[0].channels[2].kind = KindRaw;
    core_.StartMonitoring();
    ticks(3);
    EXPECT_EQ(link_.IsOpen(), 0);  // closed after every tick in TCP mode
    const std::string row = "20,9;294,1;2942;" + voltsCells(1, 3) + counterCells(1) +
                            voltsCells(2) + counterCells(2) + voltsCells(3) + counterCells(3);
    EXPECT_EQ(csv(), header() + recordLine(1, "09", row) + recordLine(2, "10", row) +
                         recordLine(3, "11", row));
    EXPECT_EQ(view_.savedCount, 3);
    EXPECT_EQ(view_.valueSlot.valueTexts[0], "20.9°C");
    EXPECT_EQ(view_.valueSlot.valueTexts[15], "3.751 V");
    EXPECT_EQ(view_.valueSlot.valueTexts[19], "103");
    EXPECT_EQ(view_.errorCounts, (std::array<int, ModuleCount>{}));
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(CycleTest, ASerialSessionKeepsTheLinkOpenAndReadsTheSelectedOutputs) {
    startSim("1,2");
    sim_->command("set-config 2 6 8");  // module B in PWM mode
    useSerial(sim_->ptyPath());
    switchOn({1, 2});
    core_.StartMonitoring();
    ASSERT_TRUE(core_.monitoring());
    ticks(2);
    EXPECT_EQ(link_.IsOpen(), 1);
    EXPECT_EQ(
        csv(),
        header() +
            recordLine(1, "09", voltsCells(1) + counterCells(1) + voltsCells(2) + counterCells(2)) +
            recordLine(2, "10", voltsCells(1) + counterCells(1) + voltsCells(2) + counterCells(2)));
    ASSERT_TRUE(view_.readback);
    EXPECT_TRUE(view_.readback->checked);
    EXPECT_EQ(view_.readback->outputs.registers[RegPwm1], 100);
    EXPECT_EQ(view_.readback->outputs.registers[RegPwm2], 101);
    EXPECT_EQ(view_.readback->supplyAlarms.uz, "");
    EXPECT_EQ(view_.readback->supplyAlarms.vcc, "");
    // Every output is off and pulled up near the supply: none is flagged.
    EXPECT_EQ(
        std::count(view_.readback->mismatches.begin(), view_.readback->mismatches.end(), true), 0);

    core_.SelectModule(1);
    EXPECT_EQ(view_.moduleSlot.modeFlags.bits, 8);
    EXPECT_EQ(view_.valueSlot.valueTexts[0], "2.950 V");
    view_.fields.testOuts = 0;
    sim_->command("set-holding 2 16 3");
    sim_->command("set-holding 2 9 100");   // O10 off but low: flagged
    sim_->command("set-holding 2 10 100");  // O11 too, but PWM mode leaves it unchecked
    ticks(1);
    EXPECT_FALSE(view_.readback->checked);
    EXPECT_EQ(view_.readback->outputs.outputWord(), 3);
    EXPECT_EQ(view_.readback->outputs.registers[RegPwm1], 100);  // from module A's last read-back
    view_.fields.testOuts = 1;
    ticks(1);
    EXPECT_EQ(view_.readback->outputs.registers[RegPwm1], 200);
    EXPECT_FALSE(view_.readback->mismatches[10]);
    EXPECT_TRUE(view_.readback->mismatches[9]);
    EXPECT_FALSE(view_.readback->mismatches[0]);  // on and near 0 V
    EXPECT_EQ(view_.errorCounts, (std::array<int, ModuleCount>{}));
}

TEST_F(CycleTest, OutputWritesAndCounterClearsGoOutFirstInOrder) {
    startSim("1", {"--trace"});
    useTcp();
    core_.StartMonitoring();
    ticks(1);
    sim_->takeLines("rx ");
    core_.SetOutput(2, true);
    core_.RequestCounterClear(1);
    ticks(1);
    const std::vector<std::string> frames = sim_->takeLines("rx ");
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[0], "rx :010600100004E5");  // register 16 = O3 on
    EXPECT_EQ(frames[1], "rx :010A0202F1");      // clear C2
    EXPECT_TRUE(frames[2].starts_with("rx :0104"));
    EXPECT_TRUE(frames[3].starts_with("rx :0103"));
    EXPECT_EQ(view_.readback->outputs.outputWord(), 4);
    EXPECT_EQ(view_.readback->outputs.registers[2], 2);  // O3 on: near 0 V
    ticks(1);
    EXPECT_TRUE(sim_->takeLines("rx :0106").empty());  // written once
}

TEST_F(CycleTest, TcpReconnectsOnlyWhenARecordIsDueOrARequestWaits) {
    startSim("1");
    useTcp();
    view_.fields.periodSeconds = 5;
    core_.StartMonitoring();
    std::vector<int> shownCountdowns;
    std::vector<int> readTicks;
    for (int tick = 1; tick <= 11; ++tick) {
        if (tick == 8) core_.SetOutput(0, true);
        view_.countdowns.clear();
        const int valuesShown = view_.valuesShown;
        core_.AcquisitionTick();
        shownCountdowns.push_back(view_.countdowns.front());
        if (view_.valuesShown > valuesShown) readTicks.push_back(tick);
        EXPECT_EQ(link_.IsOpen(), 0);
    }
    EXPECT_EQ(shownCountdowns, (std::vector<int>{0, 4, 3, 2, 1, 0, 4, 3, 2, 1, 0}));
    EXPECT_EQ(readTicks, (std::vector<int>{1, 6, 8, 11}));
    EXPECT_EQ(core_.savedCount(), 3);
}

TEST_F(CycleTest, ReconnectsBackOffWhenTheServerIsGone) {
    startSim("1");
    useTcp();
    core_.StartMonitoring();
    ticks(1);
    sim_.reset();
    std::vector<int> failures;
    for (int tick = 2; tick <= 26; ++tick) {
        core_.AcquisitionTick();
        failures.push_back(core_.consecutiveFailures());
    }
    // Five attempts a second apart, then none for 20 s.
    std::vector<int> expected = {1, 2, 3, 4, 5};
    expected.resize(24, 5);
    expected.push_back(6);
    EXPECT_EQ(failures, expected);
    EXPECT_EQ(errors(0), 1);  // only the first failed attempt counts
    EXPECT_TRUE(view_.connectionLost);
    EXPECT_EQ(core_.savedCount(), 1);
}

TEST_F(CycleTest, AConnectionClosedDuringAReadPostponesTheRecordBy20s) {
    startSim("1");
    useTcp();
    core_.StartMonitoring();
    sim_->command("fault close-mid:1");
    ticks(1);
    EXPECT_EQ(errors(0), 3);  // two for the read, one for the read-back on the closed link
    EXPECT_EQ(core_.recordCountdown(), 20);
    EXPECT_EQ(core_.savedCount(), 0);
    EXPECT_TRUE(view_.connectionLost);
    EXPECT_EQ(view_.valueSlot.valueTexts[0], "???");
    sim_->command("clear-faults");
    const int valuesShown = view_.valuesShown;
    ticks(19);
    EXPECT_EQ(view_.valuesShown, valuesShown);
    ticks(1);
    EXPECT_EQ(core_.savedCount(), 1);
    EXPECT_FALSE(view_.connectionLost);
    EXPECT_EQ(core_.consecutiveFailures(), 0);
}

TEST_F(CycleTest, FailedReadsCountByKindAndRecordBlankCells) {
    startSim("1");
    useTcp();
    core_.StartMonitoring();
    // The module is also the selected one: each failed read-back adds one more.
    sim_->command("mute 1");
    ticks(1);
    EXPECT_EQ(errors(0), 2 + 1);  // a time-out, first in a row
    ticks(1);
    EXPECT_EQ(errors(0), 3 + 1 + 1);  // a time-out again
    sim_->command("unmute 1");
    sim_->command("fault bad-lrc:1");
    ticks(2);
    EXPECT_EQ(errors(0), 5 + 2 * (2 + 1));  // an LRC error counts twice every time
    sim_->command("clear-faults");
    ticks(1);
    EXPECT_EQ(errors(0), 11);
    EXPECT_EQ(view_.errorCounts[0], 11);
    const std::string blank = blankCells();
    EXPECT_EQ(csv(), header() + recordLine(1, "09", blank) + recordLine(2, "10", blank) +
                         recordLine(3, "11", blank) + recordLine(4, "12", blank) +
                         recordLine(5, "13", voltsCells(1) + counterCells(1)));
}

// A silent module must not stop the records of the modules that answer.
TEST_F(CycleTest, ASilentModuleLeavesTheOthersRecorded) {
    startSim("1,2");
    useTcp();
    switchOn({1, 2});
    view_.fields.periodSeconds = 5;
    core_.StartMonitoring();
    sim_->command("mute 2");
    ticks(6);
    const std::string row = voltsCells(1) + counterCells(1) + blankCells();
    EXPECT_EQ(csv(), header() + recordLine(1, "09", row) + recordLine(2, "10", row));
    EXPECT_EQ(errors(0), 0);
    EXPECT_EQ(errors(1), 4);
    EXPECT_EQ(core_.recordCountdown(), 5);
}

// --- recording across STARTs and a held file ------------------------------------

TEST_F(CycleTest, EveryStartAddsAHeaderAndAHeldFileLosesNoRecord) {
    startSim("1");
    useTcp();
    core_.StartMonitoring();
    ticks(1);
    core_.StopMonitoring();
    EXPECT_FALSE(view_.monitoring);
    core_.StartMonitoring();
    ticks(1);
    fs::rename(dir_.file("pomiary.csv"), dir_.file("held"));
    fs::create_directory(dir_.file("pomiary.csv"));
    ticks(2);
    EXPECT_TRUE(view_.fileProblem.visible);
    EXPECT_EQ(view_.fileProblem.waitingRecords, 2u);
    fs::remove(dir_.file("pomiary.csv"));
    fs::rename(dir_.file("held"), dir_.file("pomiary.csv"));
    ticks(1);
    EXPECT_FALSE(view_.fileProblem.visible);
    const std::string row = voltsCells(1) + counterCells(1);
    EXPECT_EQ(csv(), header() + recordLine(1, "09", row) + header() + recordLine(1, "10", row) +
                         recordLine(2, "11", row) + recordLine(3, "12", row) +
                         recordLine(4, "13", row));
}

TEST_F(CycleTest, SplitRecordingShowsThePartBeingWritten) {
    startSim("1");
    useTcp();
    view_.fields.splitFile = 1;
    view_.fields.fileName = "hala";
    core_.StartMonitoring();
    ticks(1);
    EXPECT_TRUE(view_.partPathVisible);
    EXPECT_EQ(view_.partPath, "hala_000.csv");
    EXPECT_EQ(test::readFileBytes(dir_.file("hala_000.csv")),
              header() + recordLine(1, "09", voltsCells(1) + counterCells(1)));
}

TEST_F(CycleTest, AConfigurationFileAndStartOnTheCommandLineStartMonitoring) {
    startSim("1,2");
    const std::string config = "DKQ-1-5\n1,9600,0,0,1,0,0,0\n1,2,0,0,0\npomiary.csv\n" +
                               std::string(100, '\n') + "1\n127.0.0.1\n" +
                               std::to_string(sim_->tcpPort()) + "\n0\n";
    const std::string bytes = encodeTextFile(config);
    std::FILE* file = std::fopen(dir_.file("start.cfg").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    core_.startUp(splitCommandLine(dir_.file("start.cfg") + " /start"));
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_TRUE(core_.monitoring());
    EXPECT_EQ(core_.modules()[1].firmwareText, "v25  SN=123456789A02 SUM=A5");
    EXPECT_EQ(view_.moduleEnabled,
              (std::array<bool, ModuleCount>{true, true, false, false, false}));
}

}  // namespace
}  // namespace dkq
