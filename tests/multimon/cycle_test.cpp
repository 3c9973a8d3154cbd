// Monitoring sessions against the simulated bus, over loopback TCP and a
// pseudo-terminal, with a fake clock and a scripted user.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "monitor/csv_recorder.h"
#include "multimon/module_table.h"
#include "settings/com_ports.h"
#include "tests/multimon/fakes.h"
#include "tests/multimon/sim_rows.h"
#include "tests/support/stored_settings.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;

constexpr int SerialComPort = 7;

using test::blank;
using test::cells;
using test::recordLine;

class CycleTest : public test::CoreTest {
  protected:
    void startSim(const std::string& modules, std::vector<std::string> args = {}) {
        args.insert(args.begin(), {"--tcp", "127.0.0.1:0", "--pty", dir_.file("bus"), "--modules",
                                   modules, "--deterministic"});
        sim_ = std::make_unique<test::SimProcess>(args);
        view_.fields.useTcp = 1;
        view_.fields.ipAddress = "127.0.0.1";
        view_.fields.tcpPort = sim_->tcpPort();
    }
    // COM7 is the device named in the shared ports key.
    void useSerial(const std::string& device) {
        test::storeSettings(PortsKeyPath, {{"COM" + std::to_string(SerialComPort), device}});
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
        core_.StartMonitoring();
        ASSERT_TRUE(core_.monitoring());
    }
    void ticks(int count) {
        for (int i = 0; i < count; ++i) core_.AcquisitionTick();
    }
    int errors(int module) { return core_.modules()[module].errorCount; }
    std::string csv() { return test::readFileBytes(dir_.file("pomiary.csv")); }
    std::string header() { return encodeTextFile(csvHeader(core_.modules())); }

    std::unique_ptr<test::SimProcess> sim_;
};

// --- START and the tick -----------------------------------------------------------

// A configuration file and "/start" on the command line: START checks the
// switched-on modules, then every tick records them byte for byte.
TEST_F(CycleTest, AStartFromTheCommandLineChecksTheModulesAndRecordsByteForByte) {
    startSim("1,2,3");
    const std::string path = writeText(
        "start.cfg", "DKQ-1-5\n1,9600,0,0,1,0,1,0\n3,0,1,0,0\nhala\n0,0,0,T\n3,0,0,K\n2,0,0,R\n" +
                         std::string(97, '\n') + "1\n127.0.0.1\n" +
                         std::to_string(sim_->tcpPort()) + "\n0\n");
    core_.startUp(splitCommandLine(path + " /start"));
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_TRUE(core_.monitoring() && view_.monitoring);
    EXPECT_EQ(view_.moduleEnabled,
              (std::array<bool, ModuleCount>{true, false, true, false, false}));
    EXPECT_EQ(core_.modules()[0].firmwareText + "|" + core_.modules()[1].firmwareText + "|" +
                  core_.modules()[2].firmwareText,
              "v25  SN=123456789A03 SUM=A5||v25  SN=123456789A01 SUM=A5");
    EXPECT_EQ(link_.ConnectTimeoutMs + link_.ReceiveTimeoutMs, 800 + 800);
    EXPECT_EQ(link_.IsOpen(), 1);
    EXPECT_EQ(view_.partPath, "hala_000.csv");
    EXPECT_FALSE(view_.fileProblem.visible);
    ticks(3);
    EXPECT_EQ(link_.IsOpen(), 0);  // closed after every tick in TCP mode
    const std::string row = "22,9;296,1;2962;" + cells(3, 3) + cells(1);
    EXPECT_EQ(
        test::readFileBytes(dir_.file("hala_000.csv")),
        header() + recordLine(1, "09", row) + recordLine(2, "10", row) + recordLine(3, "11", row));
    EXPECT_EQ(view_.savedCount, 3);
    EXPECT_EQ(view_.valueSlot.valueTexts[0] + " " + view_.valueSlot.valueTexts[19], "22.9°C 303");
    EXPECT_EQ(view_.errorCounts, (std::array<int, ModuleCount>{}));
    core_.StopMonitoring();
    core_.StartMonitoring();  // the chart's readings begin again
    EXPECT_EQ(core_.trend(0).size() + core_.trend(2).size(), 0u);
}

// START refuses missing TCP settings, a link that does not open, a module
// failing its checks (named by the last result; diagnostics are tried three
// times, 500 ms apart) and a file that cannot be written. Nothing of a failed
// START stays open or waits to be written.
TEST_F(CycleTest, AFailedStartShowsWhyAndLeavesNothingBehind) {
    struct Case {
        std::string message;
        std::vector<std::string> sim;  // options of a bus of modules 1 and 2
        int addressB = 0;
        int failing = -1;  // the module whose checks failed
        std::function<void()> setup = [] {};
    };
    const std::string csvPath = dir_.file("pomiary.csv");
    const Case cases[] = {
        {"Brak ustawień komunikacyjnych TCP/IP!", {}, 0, -1, [&] { view_.fields.tcpPort = 0; }},
        {"Brak ustawień komunikacyjnych TCP/IP!", {}, 0, -1, [&] { view_.fields.ipAddress = ""; }},
        {"Błąd otwarcia portu COM7 !", {}, 0, -1, [&] { useSerial(dir_.file("no-such-device")); }},
        {"Błąd połączenia w sieci !\nAdres IP (127.0.0.1:PORT) nie odpowiada.",
         {},
         0,
         -1,
         [&] { sim_.reset(); }},
        {"Błąd otwarcia pliku do zapisu!", {}, 0, -1, [&] { fs::create_directory(csvPath); }},
        {"Brak odpowiedzi z modułu B!\n(Przekroczono czas oczekiwania)", {}, 5, 1},
        {"Błąd sumy kontrolnej w odpowiedzi Modbus (moduł B).", {"--fault", "bad-lrc:2"}, 2, 1},
        // The first attempt finds the connection closed; the later ones a closed link.
        {"Zerwane połączenie TCP/IP (moduł B)!", {"--fault", "close-mid:2"}, 2, 1},
        {"Nie odebrano odpowiedzi z modułu B!\n(Próba odczytu diagnostyki)",
         {"--fault", "bad-lrc:2"},
         2,
         1,
         [&] { useSerial(sim_->ptyPath()); }},
        {"Błąd komunikacji z modułem A!", {"--close-after", "1"}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        startSim("1,2", c.sim);
        std::string message = c.message;
        if (const auto port = message.find("PORT"); port != std::string::npos)
            message.replace(port, 4, std::to_string(sim_->tcpPort()));
        switchOn({1, c.addressB});
        prompter_.messages.clear();
        clock_.sleeps.clear();
        c.setup();
        core_.StartMonitoring();
        EXPECT_EQ(prompter_.messages, test::Messages{{message}});
        EXPECT_FALSE(core_.monitoring() || view_.monitoring || link_.IsOpen());
        EXPECT_EQ(clock_.sleeps, std::vector<int>(c.failing == 1 ? 3 : 0, 500));
        EXPECT_EQ(errors(0) * 10 + errors(1), c.failing == 0 ? 10 : c.failing == 1 ? 1 : 0);
        EXPECT_EQ(view_.errorCounts[std::max(c.failing, 0)], c.failing >= 0 ? 1 : 0);
        EXPECT_FALSE(fs::is_regular_file(csvPath));
    }
    EXPECT_EQ(core_.modules()[0].firmwareText, "v25  SN=123456789A01 SUM=A5");
    EXPECT_TRUE(view_.fileProblem.visible);  // since the file could not be written
    fs::remove(csvPath);
    startTcp();
    EXPECT_EQ(csv(), header());
    EXPECT_FALSE(view_.fileProblem.visible);
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
    // O10 flagged; O11 not (PWM mode), nor O1 (on and near 0 V).
    EXPECT_EQ(std::count(shown.mismatches.begin(), shown.mismatches.end(), true), 1);
    EXPECT_TRUE(shown.mismatches[9]);
    EXPECT_EQ(view_.errorCounts, (std::array<int, ModuleCount>{}));
}

// Tick 8 asks for an output and a counter clear, tick 9 for an output alone,
// tick 10 for a clear alone: each reconnects although no record is due. A
// silent module B postpones nothing: module A goes on being recorded.
TEST_F(CycleTest, TcpReconnectsOnlyWhenDueAndRequestsGoOutFirstInOrderOnce) {
    view_.fields.periodSeconds = 5;
    switchOn({1, 2});
    startTcp("1,2", {"--trace"});
    sim_->command("mute 2");
    link_.ReceiveTimeoutMs = 100;  // quicker time-outs, counted the same
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
    // The chart's readings: every tick that read A, recorded or not; of silent
    // B its three failed reads (then it is passed over while A answers).
    EXPECT_EQ(core_.trend(0).size() * 10 + core_.trend(1).size(), 63u);
    const std::string row = cells(1) + blank();
    std::string cleared = row;  // C2 cleared
    cleared.replace(cleared.find(";101;"), 5, ";0;");
    EXPECT_EQ(csv(), header() + recordLine(1, "09", row) + recordLine(2, "10", row) +
                         recordLine(3, "14", cleared));
    EXPECT_EQ(errors(0) * 100 + errors(1), 2 * 3);  // B: two for each read tried
    const std::vector<std::string> frames = sim_->takeLines("rx ");
    std::vector<std::string> functions;  // 06 output word, 0A clear, 04 inputs, 03 outputs
    for (const std::string& frame : frames)
        if (frame.starts_with("rx :01")) functions.push_back(frame.substr(6, 2));
    EXPECT_EQ(functions, (std::vector<std::string>{"06", "0A", "04", "03", "06", "04", "03", "0A",
                                                   "04", "03", "04", "03"}));
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0], "rx :010600100004E5");  // register 16 = O3 on
    EXPECT_EQ(frames[1], "rx :010A0202F1");      // clear C2
    EXPECT_EQ(view_.readback->outputs.outputWord(), 4 + 8);
    EXPECT_EQ(view_.readback->outputs.registers[2], 2);  // O3 on: near 0 V
}

// Selected module B falls silent while A answers. Time is the timer's: an
// exchange costs what it costs at the 1 s period (800 ms waited out, 40 ms
// answered) and a tick that runs long delays the next. After three ticks
// that wait for B's read and read-back, B is read at every tenth tick and
// not read back: A keeps a row a second, B's cells stay blank. B switched
// off, the next row comes under a header pair of A alone.
TEST_F(CycleTest, ASilentOrSwitchedOffModuleCostsTheOthersNoRows) {
    view_.fields.periodSeconds = 1;
    switchOn({1, 2});
    startTcp("1,2", {"--trace"});
    core_.SelectModule(1);
    sim_->command("mute 2");
    link_.ReceiveTimeoutMs = 50;
    sim_->takeLines("rx ");
    std::int64_t nextTick = 0;
    std::string triedTicks;
    for (int tick = 1; nextTick < 31000; ++tick) {
        core_.AcquisitionTick();
        std::int64_t end = nextTick;
        for (const std::string& frame : sim_->takeLines("rx ", 20)) {
            end += frame.starts_with("rx :02") ? 800 : 40;
            if (frame.starts_with("rx :0204")) triedTicks += std::to_string(tick) + " ";
        }
        nextTick = std::max(nextTick + 1000, end);
    }
    EXPECT_EQ(core_.savedCount(), 30);
    EXPECT_EQ(triedTicks, "1 2 3 13 23 ");
    EXPECT_EQ(errors(0) * 100 + errors(1), 2 * 5 + 2);  // reads tried, and two read-backs
    core_.modules()[1].busAddress = 0;
    ticks(1);
    std::string names = "Lp;Czas   ;", units = ";;";
    for (int entry = 1; entry <= EntryCount; ++entry) {
        const bool line = entry <= LineCount;
        names +=
            (line ? "Linia" + std::to_string(entry) : "Cnt" + std::to_string(entry - 16)) + "A;";
        units += line ? "U [V];" : "[imp];";
    }
    EXPECT_TRUE(csv().ends_with(recordLine(30, "38", cells(1) + blank()) +
                                encodeTextFile(names + "\n" + units + "\n") +
                                recordLine(31, "39", cells(1))));
}

// Failed reads count by their kind and record blank cells. A lost connection
// postpones the record and spaces out the reconnects; the first tick that
// reads a module again records at once.
TEST_F(CycleTest, FailedReadsCountByKindAndALostConnectionBacksOff) {
    startTcp();
    link_.ReceiveTimeoutMs = 200;  // quicker time-outs, counted the same
    // The module is also the selected one: each failed read-back adds one
    // more, until three reads in a row have failed (then it is not read back).
    sim_->command("mute 1");
    ticks(1);
    EXPECT_EQ(errors(0), 2 + 1);  // a time-out, first in a row
    ticks(1);
    EXPECT_EQ(errors(0), 3 + 1 + 1);  // a time-out again
    sim_->command("unmute 1");
    sim_->command("fault bad-lrc:1");
    ticks(2);
    EXPECT_EQ(errors(0), 5 + 2 * 2);  // an LRC error counts twice every time
    sim_->command("clear-faults");
    ticks(1);
    EXPECT_EQ(view_.errorCounts[0], 9);
    EXPECT_EQ(csv(), header() + recordLine(1, "09", blank()) + recordLine(2, "10", blank()) +
                         recordLine(3, "11", blank()) + recordLine(4, "12", blank()) +
                         recordLine(5, "13", cells(1)));

    sim_->command("fault close-mid:1");
    ticks(1);
    EXPECT_EQ(errors(0), 9 + 3);  // two for the read, one for the read-back on the closed link
    EXPECT_EQ(core_.recordCountdown(), 20);
    EXPECT_EQ(core_.savedCount(), 5);
    EXPECT_TRUE(view_.connectionLost);
    EXPECT_EQ(view_.valueSlot.valueTexts[0], "???");
    sim_->command("clear-faults");
    const int valuesShown = view_.valuesShown;
    ticks(3);
    EXPECT_EQ(view_.valuesShown, valuesShown);  // the link is spared
    // An output request reconnects; the module answers, and the back-off
    // ends: the record is taken at once.
    core_.SetOutput(0, true);
    ticks(1);
    EXPECT_EQ(core_.savedCount(), 6);
    EXPECT_EQ(core_.recordCountdown(), 0);
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
    EXPECT_EQ(errors(0), 12 + 1);  // only the first failed attempt counts
    EXPECT_TRUE(view_.connectionLost);
    EXPECT_EQ(core_.savedCount(), 6);
}

}  // namespace
}  // namespace dkq
