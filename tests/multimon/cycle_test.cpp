// Monitoring sessions against the simulated bus, over loopback TCP and a
// pseudo-terminal, with a fake clock and a scripted user.
#include <algorithm>
#include <filesystem>
#include <memory>

#include "common/com_ports.h"
#include "common/registry_key.h"
#include "monitor/csv_recorder.h"
#include "multimon/module_table.h"
#include "tests/multimon/fakes.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;
using test::Messages;

constexpr int SerialComPort = 7;

// Record cells of the simulator's fixed values of module address a: lines
// (from firstLine) in volts, then counters.
std::string cells(int a, int firstLine = 0) {
    std::string cells;
    for (int r = firstLine; r < LineCount; ++r) {
        const int raw = r < 4 ? 2930 + 10 * a + r : 250 * r + a;
        cells +=
            std::to_string(raw / 1000) + "," + std::to_string(1000 + raw % 1000).substr(1) + ";";
    }
    for (int c = 0; c < CounterCount; ++c) cells += std::to_string(100 * a + c) + ";";
    return cells;
}

// The cells of a module that did not answer.
std::string blank() {
    std::string cells;
    for (int entry = 0; entry < EntryCount; ++entry) cells += "   ;";
    return cells;
}

std::string recordLine(int count, const std::string& second, const std::string& row) {
    return encodeTextFile(std::to_string(count) + ";2024-03-05 7:08:" + second + ";" + row + "\n");
}

class CycleTest : public test::CoreTest {
  protected:
    void startSim(const std::string& modules, std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"--tcp", "127.0.0.1:0", "--pty", dir_.file("bus"), "--modules",
                                   modules, "--deterministic"});
        sim_ = std::make_unique<test::SimProcess>(args);
    }
    void useTcp() {
        view_.fields.useTcp = 1;
        view_.fields.ipAddress = "127.0.0.1";
        view_.fields.tcpPort = sim_->tcpPort();
    }
    // COM7 is the device named in the shared ports key.
    void useSerial(const std::string& device) {
        RegistryKey ports;
        ports.CreateKey(RegistryRoot::CurrentUser, PortsKeyPath);
        ports.Open(RegistryRoot::CurrentUser, PortsKeyPath);
        ports.WriteString("COM" + std::to_string(SerialComPort), device);
        view_.fields.useTcp = 0;
        view_.fields.comPort = SerialComPort;
    }
    void switchOn(std::vector<int> addresses) {
        addresses.resize(ModuleCount);
        for (int module = 0; module < ModuleCount; ++module)
            core_.modules()[module].busAddress = addresses[module];
    }
    // START over TCP on a bus of the given modules, with the modules switched on
    // as they are (only module A, at address 1, unless a test changes it).
    void startTcp(const std::string& modules = "1", std::vector<std::string> extra = {}) {
        startSim(modules, std::move(extra));
        useTcp();
        core_.StartMonitoring();
        ASSERT_TRUE(core_.monitoring());
    }
    void ticks(int count) {
        for (int i = 0; i < count; ++i) core_.AcquisitionTick();
    }
    int errors(int module) { return core_.modules()[module].errorCount; }
    std::string csv() { return test::readFileBytes(dir_.file("pomiary.csv")); }
    std::string header() { return encodeTextFile(csvHeader(core_.modules())); }

    void expectFailedStart(const Messages& messages) {
        EXPECT_EQ(prompter_.messages, messages);
        EXPECT_FALSE(core_.monitoring() || view_.monitoring);
        EXPECT_EQ(link_.IsOpen(), 0);
    }

    std::unique_ptr<test::SimProcess> sim_;
};

// --- START and the tick -----------------------------------------------------------

TEST_F(CycleTest, StartChecksEveryModuleAndATcpSessionIsRecordedByteForByte) {
    startSim("1,2,3");
    useTcp();
    switchOn({3, 0, 1});
    core_.modules()[0].channels[0].kind = KindCelsius;
    core_.modules()[0].channels[1].kind = KindKelvin;
    core_.modules()[0].channels[2].kind = KindRaw;
    core_.StartMonitoring();
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_TRUE(core_.monitoring() && view_.monitoring);
    EXPECT_EQ(core_.modules()[0].firmwareText, "v25  SN=123456789A03 SUM=A5");
    EXPECT_EQ(core_.modules()[1].firmwareText, "");
    EXPECT_EQ(core_.modules()[2].firmwareText, "v25  SN=123456789A01 SUM=A5");
    EXPECT_EQ(link_.ConnectTimeoutMs, 800);
    EXPECT_EQ(link_.ReceiveTimeoutMs, 800);
    EXPECT_EQ(link_.IsOpen(), 1);
    EXPECT_EQ(csv(), header());
    EXPECT_FALSE(view_.fileProblem.visible);
    EXPECT_EQ(view_.partPath, "");

    ticks(3);
    EXPECT_EQ(link_.IsOpen(), 0);  // closed after every tick in TCP mode
    const std::string row = "22,9;296,1;2962;" + cells(3, 3) + cells(1);
    EXPECT_EQ(csv(), header() + recordLine(1, "09", row) + recordLine(2, "10", row) +
                         recordLine(3, "11", row));
    EXPECT_EQ(view_.savedCount, 3);
    EXPECT_EQ(view_.valueSlot.valueTexts[0], "22.9°C");
    EXPECT_EQ(view_.valueSlot.valueTexts[19], "303");
    EXPECT_EQ(view_.errorCounts, (std::array<int, ModuleCount>{}));
}

TEST_F(CycleTest, StartStopsAtMissingTcpSettingsALinkThatDoesNotOpenAndAnUnwritableFile) {
    view_.fields.useTcp = 1;
    view_.fields.ipAddress = "127.0.0.1";
    core_.StartMonitoring();  // port 0
    view_.fields.ipAddress = "";
    view_.fields.tcpPort = 4001;
    core_.StartMonitoring();
    useSerial(dir_.file("no-such-device"));
    core_.StartMonitoring();
    startSim("1");
    useTcp();
    const std::string closed = "127.0.0.1:" + std::to_string(sim_->tcpPort());
    sim_.reset();
    core_.StartMonitoring();
    EXPECT_FALSE(fs::exists(dir_.file("pomiary.csv")));
    startSim("1");
    useTcp();
    fs::create_directory(dir_.file("pomiary.csv"));
    core_.StartMonitoring();
    const test::Message refused{"Brak ustawień komunikacyjnych TCP/IP!"};
    expectFailedStart({refused,
                       refused,
                       {"Błąd otwarcia portu COM7 !"},
                       {"Błąd połączenia w sieci !\nAdres IP (" + closed + ") nie odpowiada."},
                       {"Błąd otwarcia pliku do zapisu!"}});
    EXPECT_TRUE(view_.fileProblem.visible);
    // Nothing of the failed START waits to be written.
    fs::remove(dir_.file("pomiary.csv"));
    core_.StartMonitoring();
    EXPECT_EQ(csv(), header());
    EXPECT_FALSE(view_.fileProblem.visible);
}

// Module B fails its diagnostics (three attempts) or, when only module A is
// switched on, A fails its mode flags.
TEST_F(CycleTest, AModuleFailingAtStartStopsItNamedByTheLastResult) {
    struct Case {
        std::string message;
        std::vector<std::string> sim;
        int addressB;
        bool serial = false;
    };
    const Case cases[] = {
        {"Brak odpowiedzi z modułu B!\n(Przekroczono czas oczekiwania)", {}, 5},
        {"Błąd sumy kontrolnej w odpowiedzi Modbus (moduł B).", {"--fault", "bad-lrc:2"}, 2},
        // The first attempt finds the connection closed; the later ones a closed link.
        {"Zerwane połączenie TCP/IP (moduł B)!", {"--fault", "close-mid:2"}, 2},
        {"Nie odebrano odpowiedzi z modułu B!\n(Próba odczytu diagnostyki)",
         {"--fault", "bad-lrc:2"},
         2,
         true},
        {"Błąd komunikacji z modułem A!", {"--close-after", "1"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        startSim("1,2", c.sim);
        c.serial ? useSerial(sim_->ptyPath()) : useTcp();
        switchOn({1, c.addressB});
        prompter_.messages.clear();
        clock_.sleeps.clear();
        core_.StartMonitoring();
        expectFailedStart({{c.message}});
        const int failing = c.addressB == 0 ? 0 : 1;
        EXPECT_EQ(clock_.sleeps, std::vector<int>(failing * 3, 500));
        EXPECT_EQ(errors(failing), 1);
        EXPECT_EQ(errors(1 - failing), 0);
        EXPECT_EQ(view_.errorCounts[failing], 1);
        EXPECT_EQ(core_.modules()[0].firmwareText, "v25  SN=123456789A01 SUM=A5");
        EXPECT_FALSE(fs::exists(dir_.file("pomiary.csv")));
    }
}

TEST_F(CycleTest, ASerialSessionKeepsTheLinkOpenAndChecksTheSelectedModulesOutputs) {
    startSim("1,2");
    sim_->command("set-config 2 6 8");       // module B in PWM mode
    sim_->command("set-holding 2 12 6000");  // and its Uz low
    useSerial(sim_->ptyPath());
    switchOn({1, 2});
    core_.StartMonitoring();
    ticks(2);
    EXPECT_EQ(link_.IsOpen(), 1);
    const std::string row = cells(1) + cells(2);
    EXPECT_EQ(csv(), header() + recordLine(1, "09", row) + recordLine(2, "10", row));
    ASSERT_TRUE(view_.readback && view_.readback->checked);
    const OutputReadback& shown = *view_.readback;
    // Every output is off and pulled up near the supply: none is flagged.
    EXPECT_EQ(std::count(shown.mismatches.begin(), shown.mismatches.end(), true), 0);

    core_.SelectModule(1);
    EXPECT_EQ(view_.valueSlot.valueTexts[0], "2.950 V");
    view_.fields.testOuts = 0;  // the output word alone
    sim_->command("set-holding 2 16 3");
    ticks(1);
    EXPECT_FALSE(shown.checked);
    EXPECT_EQ(shown.outputs.outputWord(), 3);
    EXPECT_EQ(shown.outputs.registers[Pwm1Register], 100);  // from module A's last read-back
    view_.fields.testOuts = 1;
    sim_->command("set-holding 2 9 100");   // O10 off but low: flagged
    sim_->command("set-holding 2 10 100");  // O11 too, but PWM mode leaves it unchecked
    ticks(1);
    EXPECT_EQ(shown.outputs.registers[Pwm1Register], 200);
    EXPECT_EQ(shown.supplyAlarms.uz, "Uz<7V !");
    EXPECT_TRUE(shown.mismatches[9]);
    EXPECT_FALSE(shown.mismatches[10]);
    EXPECT_FALSE(shown.mismatches[0]);  // on and near 0 V
    EXPECT_EQ(view_.errorCounts, (std::array<int, ModuleCount>{}));
}

// Tick 8 asks for an output and a counter clear, tick 9 for an output alone,
// tick 10 for a clear alone: each reconnects although no record is due.
TEST_F(CycleTest, TcpReconnectsOnlyWhenDueAndRequestsGoOutFirstInOrderOnce) {
    view_.fields.periodSeconds = 5;
    startTcp("1", {"--trace"});
    std::vector<int> shownCountdowns;
    std::vector<int> readTicks;
    for (int tick = 1; tick <= 11; ++tick) {
        if (tick == 8) sim_->takeLines("rx ");
        if (tick == 8 || tick == 9) core_.SetOutput(tick - 6, true);  // O3, then O4
        if (tick == 8 || tick == 10) core_.RequestCounterClear(1);
        view_.countdowns.clear();
        const int valuesShown = view_.valuesShown;
        core_.AcquisitionTick();
        shownCountdowns.push_back(view_.countdowns.front());
        if (view_.valuesShown > valuesShown) readTicks.push_back(tick);
        EXPECT_EQ(link_.IsOpen(), 0);
    }
    EXPECT_EQ(shownCountdowns, (std::vector<int>{0, 4, 3, 2, 1, 0, 4, 3, 2, 1, 0}));
    EXPECT_EQ(readTicks, (std::vector<int>{1, 6, 8, 9, 10, 11}));
    EXPECT_EQ(core_.savedCount(), 3);
    const std::vector<std::string> frames = sim_->takeLines("rx ");
    std::vector<std::string> functions;  // 06 output word, 0A clear, 04 inputs, 03 outputs
    for (const std::string& frame : frames) functions.push_back(frame.substr(6, 2));
    EXPECT_EQ(functions, (std::vector<std::string>{"06", "0A", "04", "03", "06", "04", "03", "0A",
                                                   "04", "03", "04", "03"}));
    ASSERT_EQ(frames.size(), 12u);
    EXPECT_EQ(frames[0], "rx :010600100004E5");  // register 16 = O3 on
    EXPECT_EQ(frames[1], "rx :010A0202F1");      // clear C2
    EXPECT_EQ(view_.readback->outputs.outputWord(), 4 + 8);
    EXPECT_EQ(view_.readback->outputs.registers[2], 2);  // O3 on: near 0 V
}

TEST_F(CycleTest, ALostConnectionPostponesTheRecordAndReconnectsBackOff) {
    startTcp();
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

    sim_.reset();
    std::vector<int> failures;
    for (int tick = 0; tick < 25; ++tick) {
        core_.AcquisitionTick();
        failures.push_back(core_.consecutiveFailures());
    }
    // Five attempts a second apart, then none for 20 s.
    std::vector<int> expected = {1, 2, 3, 4, 5};
    expected.resize(24, 5);
    expected.push_back(6);
    EXPECT_EQ(failures, expected);
    EXPECT_EQ(errors(0), 3 + 1);  // only the first failed attempt counts
    EXPECT_TRUE(view_.connectionLost);
    EXPECT_EQ(core_.savedCount(), 1);
}

TEST_F(CycleTest, FailedReadsCountByKindAndRecordBlankCells) {
    startTcp();
    link_.ReceiveTimeoutMs = 200;  // quicker time-outs, counted the same
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
    EXPECT_EQ(view_.errorCounts[0], 11);
    EXPECT_EQ(csv(), header() + recordLine(1, "09", blank()) + recordLine(2, "10", blank()) +
                         recordLine(3, "11", blank()) + recordLine(4, "12", blank()) +
                         recordLine(5, "13", cells(1)));
}

// A silent module must not stop the records of the modules that answer.
TEST_F(CycleTest, ASilentModuleLeavesTheOthersRecorded) {
    switchOn({1, 2});
    view_.fields.periodSeconds = 5;
    startTcp("1,2");
    link_.ReceiveTimeoutMs = 200;  // quicker time-outs, counted the same
    sim_->command("mute 2");
    ticks(6);
    const std::string row = cells(1) + blank();
    EXPECT_EQ(csv(), header() + recordLine(1, "09", row) + recordLine(2, "10", row));
    EXPECT_EQ(errors(0), 0);
    EXPECT_EQ(errors(1), 4);
    EXPECT_EQ(core_.recordCountdown(), 5);
}

// --- recording across STARTs and a held file ------------------------------------

// The records that wait go out before the next one, or when the window
// closes; those that still cannot be written are counted as lost.
TEST_F(CycleTest, EveryStartAddsAHeaderAndAHeldFileLosesNoRecord) {
    startTcp();
    ticks(1);
    core_.StopMonitoring();
    EXPECT_FALSE(view_.monitoring);
    core_.StartMonitoring();
    const auto hold = [&](int tickCount) {
        fs::rename(dir_.file("pomiary.csv"), dir_.file("held"));
        fs::create_directory(dir_.file("pomiary.csv"));
        ticks(tickCount);
        EXPECT_TRUE(view_.fileProblem.visible);
        EXPECT_EQ(view_.fileProblem.waitingRecords, static_cast<std::size_t>(tickCount));
        fs::remove(dir_.file("pomiary.csv"));
        fs::rename(dir_.file("held"), dir_.file("pomiary.csv"));
    };
    ticks(1);
    hold(2);
    ticks(1);
    EXPECT_FALSE(view_.fileProblem.visible);
    hold(2);
    EXPECT_EQ(core_.shutDown(), 0u);
    std::string expected = header() + recordLine(1, "09", cells(1)) + header();
    for (int count = 1; count <= 6; ++count)
        expected += recordLine(count, std::to_string(9 + count), cells(1));
    EXPECT_EQ(csv(), expected);
    fs::remove(dir_.file("pomiary.csv"));
    fs::create_directory(dir_.file("pomiary.csv"));
    ticks(3);
    EXPECT_EQ(core_.shutDown(), 3u);
}

TEST_F(CycleTest, AConfigurationFileAndStartOnTheCommandLineRecordInParts) {
    startSim("1,2");
    const std::string path = writeText(
        "start.cfg", "DKQ-1-5\n1,9600,0,0,1,0,1,0\n1,2,0,0,0\nhala\n" + std::string(100, '\n') +
                         "1\n127.0.0.1\n" + std::to_string(sim_->tcpPort()) + "\n0\n");
    core_.startUp(splitCommandLine(path + " /start"));
    EXPECT_TRUE(prompter_.messages.empty());
    ASSERT_TRUE(core_.monitoring());
    EXPECT_EQ(core_.modules()[1].firmwareText, "v25  SN=123456789A02 SUM=A5");
    EXPECT_EQ(view_.moduleEnabled,
              (std::array<bool, ModuleCount>{true, true, false, false, false}));
    ticks(1);
    EXPECT_EQ(view_.partPath, "hala_000.csv");
    EXPECT_EQ(test::readFileBytes(dir_.file("hala_000.csv")),
              header() + recordLine(1, "09", cells(1) + cells(2)));
}

}  // namespace
}  // namespace dkq
