// webmon's core against the simulated module and a loopback HTTP server:
// settings and files, START, the tick with its records, uploads and back-off.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "common/text.h"
#include "common/text_file.h"
#include "tests/multimon/sim_rows.h"
#include "tests/support/core_fakes.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "tests/support/stored_settings.h"
#include "tests/webmon/fakes.h"

namespace dkq {
namespace {

using test::FakeWebView;
using test::HttpMode;
using test::Messages;
using test::recordLine;

// Module 1's cells, then the output cells.
std::string rowCells(const std::string& outputs) {
    std::string cells = test::cells(1);
    for (int o = 0; o < OutputCount; ++o) cells += outputs;
    return cells;
}

class WebCoreTest : public ::testing::Test {
  protected:
    WebCoreTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

    std::string writeText(const std::string& name, const std::string& text) {
        EXPECT_TRUE(writeWholeFile(dir_.file(name), encodeTextFile(text)));
        return dir_.file(name);
    }
    // A simulated module 1 over TCP and, unless serverMode is empty, a
    // web-monitor.dat naming an HTTP server; then the core starts up.
    void startUp(const std::vector<std::string>& words, std::vector<std::string> simArgs = {},
                 std::optional<HttpMode> serverMode = HttpMode::Answer,
                 const std::string& moreSettings = "") {
        simArgs.insert(simArgs.begin(), {"--tcp", "127.0.0.1:0", "--deterministic"});
        sim_ = std::make_unique<test::SimProcess>(simArgs);
        test::chooseLoopbackTcp(MonitorKeyPath, sim_->tcpPort());
        if (serverMode) {
            server_ = std::make_unique<test::HttpServer>(*serverMode, "OK");
            writeText("web-monitor.dat",
                      "# upload\nURL=127.0.0.1:" + std::to_string(server_->port()) +
                          "\nUID=77\nINREGS=17,5,1\n" + moreSettings);
        }
        core_.startUp(words);
    }
    void ticks(int count) {
        for (int i = 0; i < count; ++i) core_.AcquisitionTick();
    }
    std::string csv() { return test::readFileBytes(dir_.file("rejestr0.csv")); }
    // Both header lines of the start-up presentation table.
    static std::string header() {
        return "Lp;Czas   ;Linia1;Linia2;Linia3;Linia4;Linia5;Linia6;Linia7;Linia8;Linia9;"
               "Linia10;Linia11;Linia12;Linia13;Linia14;Linia15;Linia16;Cnt1;Cnt2;Cnt3;Cnt4;O1 ;"
               "O2 ;O3 ;O4 ;O5 ;O6 ;O7 ;O8 ;O9 ;O10 ;O11 ;O12 ;\r\n;;U [V];U [V];U [V];U [V];"
               "U [V];U [V];U [V];U [V];U [V];U [V];U [V];U [V];U [V];U [V];U [V];U [V];[imp];"
               "[imp];[imp];[imp];stan;stan;stan;stan;stan;stan;stan;stan;stan;stan;stan;stan;\r\n";
    }
    std::vector<std::string> targets() {
        std::vector<std::string> list;
        for (const auto& request : server_->requests()) list.push_back(request.target);
        return list;
    }

    test::ScratchDir dir_;
    ModuleLink link_;
    FakeWebView view_;
    test::ScriptedPrompter prompter_;
    test::FakeClock clock_;
    WebMonitorCore core_{link_, view_, prompter_, clock_, {300, 700, 1000, 2000}};
    std::unique_ptr<test::SimProcess> sim_;
    std::unique_ptr<test::HttpServer> server_;
};

// The settings a file or the registry gives, on one line.
std::string kept(const WebMonitorSettings& s) {
    return joinNumbers({s.comPort, s.speed, s.echo, s.busAddress, s.testOuts, s.recordPeriod(),
                        s.useTcp, s.tcpPort, s.disconnectAfterReading}) +
           "," + s.fileName + "," + s.ipAddress;
}

// Every combination of the switches and of empty and set connection values
// that a user can save reads back as saved; the presentation lines too.
TEST_F(WebCoreTest, SavedFilesReadBackAndValuesAreTakenIntoRange) {
    ChannelTable channels = defaultWebChannels();
    channels[2] = {KindCelsius, 2732, 3732, "Piec, strefa 1"};
    channels[3] = {7, 0, 4092, "Temperatura pie"};
    for (int c = 0; c < 64; ++c) {  // its bits: TCP, address, port, disconnect, echo, period
        WebMonitorSettings saved;
        saved.useTcp = c & 1;
        saved.ipAddress = (c & 2) != 0 ? "10.0.0.7" : "";
        saved.tcpPort = (c & 4) != 0 ? 4001 : 0;
        saved.disconnectAfterReading = (c >> 3) & 1;
        saved.echo = saved.testOuts = (c >> 4) & 1;
        saved.setRecordPeriod((c >> 5) * 3725);
        saved.comPort = saved.busAddress = 1 + c % 31;
        WebMonitorSettings loaded;
        ChannelTable loadedChannels;
        ASSERT_TRUE(applyWebConfigLines(decodeTextLines(webConfigFileText(saved, channels)), loaded,
                                        loadedChannels));
        EXPECT_EQ(kept(loaded), kept(saved));
        EXPECT_EQ(loadedChannels, channels);
    }
    // A serial user's file, and numbers out of range taken to the nearest
    // allowed value; the CSV file keeps only its name; a short entry line
    // takes its default name.
    WebMonitorSettings serial;
    EXPECT_TRUE(webConfigFileText(serial, channels).ends_with("\n0\n\n0\n0\n"));
    std::string lines = "DKQ-1\n\n300,9999999,5,257,1,-5,0,0\n\n/tmp/../plik.csv\n";
    for (int entry = 0; entry < EntryCount; ++entry)
        lines += entry == 4 ? "2,0,4092\n" : "1,0,4092,N" + std::to_string(entry) + "\n";
    lines += "1\n127.0.0.1\n70000\n";
    ASSERT_TRUE(applyWebConfigLines(decodeTextLines(lines), serial, channels));
    EXPECT_EQ(kept(serial), "255,115200,1,31,1,0,1,65535,0,plik.csv,127.0.0.1");
    EXPECT_EQ(channelLine(channels[4]), "2,0,4092,Linia L5");
    EXPECT_FALSE(applyWebConfigLines({"DKQ-1-5", "1,2"}, serial, channels));

    test::storeSettings(MonitorKeyPath, {{"BusAdr", 0u}});  // webmon's module is never switched off
    WebMonitorSettings fromRegistry;
    loadWebMonitorSettings(fromRegistry);
    EXPECT_EQ(kept(fromRegistry), "1,9600,0,1,1,0,0,0,0,rejestr0.csv,");
    fromRegistry.fileName = "/tmp/x.csv";  // read back as its name only
    fromRegistry.disconnectAfterReading = 1;
    ASSERT_TRUE(saveWebMonitorSettings(fromRegistry));
    WebMonitorSettings again;
    loadWebMonitorSettings(again);
    EXPECT_EQ(kept(again), "1,9600,0,1,1,0,0,0,1,x.csv,");
}

TEST_F(WebCoreTest, StartRecordsEveryTickUploadsEachRecordAndMarksUnreadOutputs) {
    startUp({"/start"}, {"--exception", "3"});
    ASSERT_TRUE(prompter_.messages.empty()) << prompter_.messages[0].text;
    EXPECT_TRUE(core_.monitoring() && view_.monitoring);
    EXPECT_EQ(core_.module().firmwareText, "v25  SN=123456789A01 SUM=A5");
    EXPECT_EQ(link_.LogEnabled, 0);
    ticks(2);
    EXPECT_EQ(csv(),
              header() + recordLine(1, "09", rowCells("?;")) + recordLine(2, "10", rowCells("?;")));
    EXPECT_TRUE(view_.uploading);
    EXPECT_EQ(core_.module().errorCount, 0);
    EXPECT_EQ(link_.IsOpen(), 1);  // kept open between ticks
    // STOP waits for the requests handed over.
    core_.StopMonitoring();
    EXPECT_EQ(targets(),
              std::vector<std::string>(2, "/rec.php?uid=77&data=2.940,1.001,100&sum=8744a430"));
    EXPECT_FALSE(view_.uploading || view_.monitoring || link_.IsOpen());

    // A second START adds its header pair; outputs read back go into the row.
    sim_ = std::make_unique<test::SimProcess>(
        std::vector<std::string>{"--tcp", "127.0.0.1:0", "--deterministic"});
    view_.fields.tcpPort = sim_->tcpPort();
    core_.SetOutput(1, true);
    view_.fields.setRecordPeriod(2);
    core_.StartMonitoring();
    ticks(3);
    std::string outputs = "0;1;";
    for (int o = 2; o < OutputCount; ++o) outputs += "0;";
    const std::string row = rowCells("").append(outputs);
    EXPECT_EQ(csv(), header() + recordLine(1, "09", rowCells("?;")) +
                         recordLine(2, "10", rowCells("?;")) + header() + recordLine(1, "11", row) +
                         recordLine(2, "13", row));
    EXPECT_EQ(view_.countdowns.back(), 1);
    EXPECT_EQ(core_.trend().size(), 3u);  // since this START, every tick's reading for the chart
    ASSERT_TRUE(view_.readback.has_value());
    EXPECT_TRUE(view_.readback->outputs.outputOn(1));

    // "/log" before "/start" switches the log on; a configuration file first.
    core_.shutDown();
    EXPECT_FALSE(core_.monitoring());
    EXPECT_EQ(targets().size(), 4u);
    const std::string config =
        writeText("plant.cfg", webConfigFileText(core_.settings(), defaultWebChannels()));
    ModuleLink link;
    FakeWebView view;
    WebMonitorCore second(link, view, prompter_, clock_);
    second.startUp({config, "x/log", "/start", "/log"});
    EXPECT_EQ(link.LogEnabled, 1);
    EXPECT_TRUE(second.monitoring());
    second.StopMonitoring();
}

// With BUFFER=1 each record carries the instant its row shows, in UTC.
TEST_F(WebCoreTest, BufferedRecordsCarryTheirTimeInUtc) {
    setenv("TZ", "Europe/Warsaw", 1);
    tzset();
    clock_.fraction = std::chrono::milliseconds(540);
    startUp({"/start"}, {}, HttpMode::Answer, "BUFFER=1\n");
    ticks(2);
    core_.StopMonitoring();
    EXPECT_EQ(targets(), (std::vector<std::string>{
                             "/rec.php?uid=77&data=2.940,1.001,100&time=2024-03-05T06:08:09.540Z&"
                             "sum=fd6de841",
                             "/rec.php?uid=77&data=2.940,1.001,100&time=2024-03-05T06:08:10.540Z&"
                             "sum=7c15b23d"}));
    EXPECT_TRUE(csv().ends_with(recordLine(2, "10", rowCells("0;"))));  // 7:08:10 local
    EXPECT_EQ(view_.uploadState.waiting * 10 + view_.uploadState.failure.size(), 0u);
}

// START's failures show their message and leave the link closed. Once
// recording, a read that fails on the connection holds the records back
// 30 s; the first tick that reads the module again ends that: the record
// comes at its time, at once when that passed meanwhile.
TEST_F(WebCoreTest, StartFailuresThenA30sBackOffThatEndsWithTheModulesAnswer) {
    startUp({}, {"--mute", "1"}, std::nullopt);
    view_.fields.tcpPort = 0;
    core_.StartMonitoring();
    view_.fields.tcpPort = sim_->tcpPort();
    core_.StartMonitoring();
    EXPECT_EQ(clock_.sleeps, std::vector<int>(4, 500));
    sim_->command("unmute 1");
    view_.fields.fileName = dir_.file("no/such/folder/x");
    core_.StartMonitoring();
    EXPECT_EQ(prompter_.messages,
              (Messages{{"Brak ustawień komunikacyjnych TCP/IP!", MessageIcon::Error},
                        {"Brak odpowiedzi z modułu!\n(Przekroczono czas oczekiwania)",
                         MessageIcon::Exclamation},
                        {"Błąd otwarcia pliku do zapisu.", MessageIcon::Exclamation}}));
    EXPECT_FALSE(core_.monitoring() || link_.IsOpen());

    view_.fields.fileName = "rejestr0.csv";
    view_.fields.setRecordPeriod(4);
    core_.StartMonitoring();
    link_.ReceiveTimeoutMs = 200;
    ticks(1);
    sim_->command("mute 1");
    ticks(2);
    EXPECT_EQ(core_.recordCountdown(), 29);
    sim_->command("unmute 1");
    ticks(1);  // one tick of the period left: counted on
    EXPECT_EQ(core_.savedCount() * 100 + core_.recordCountdown(), 100);
    sim_->command("mute 1");
    ticks(1);
    sim_->command("unmute 1");
    ticks(1);  // fell due during the back-off: recorded at once
    EXPECT_EQ(core_.savedCount() * 100 + core_.recordCountdown(), 203);
}

// A link closed after each reading is reopened for a waiting counter clear;
// one that cannot be opened is tried five ticks, then every 30 s.
TEST_F(WebCoreTest, ALostLinkIsTriedFiveTicksThenEvery30s) {
    startUp({}, {}, HttpMode::Silent);
    view_.fields.disconnectAfterReading = 1;
    view_.fields.setRecordPeriod(10);
    core_.StartMonitoring();
    ticks(1);
    EXPECT_EQ(link_.IsOpen(), 0);  // closed after the reading
    core_.RequestCounterClear(2);
    ticks(1);
    EXPECT_EQ(core_.module().valueTexts[18], "0");
    EXPECT_EQ(link_.IsOpen(), 0);

    ticks(9);
    sim_.reset();  // the module's server goes away
    std::vector<int> failures;
    for (int tick = 0; tick < 44; ++tick) {
        core_.AcquisitionTick();
        failures.push_back(core_.consecutiveFailures());
    }
    std::vector<int> expected{0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5};
    expected.resize(43, 5);
    expected.push_back(6);
    EXPECT_EQ(failures, expected);
    EXPECT_TRUE(view_.connectionLost);
    EXPECT_EQ(core_.module().errorCount, 3);
    core_.StopMonitoring();
    std::string cleared = rowCells("0;");
    cleared.replace(cleared.find(";102;"), 5, ";0;");
    EXPECT_EQ(csv(), header() + recordLine(1, "09", rowCells("0;")) + recordLine(2, "11", cleared));
    EXPECT_EQ(targets().size(), 2u);
}

}  // namespace
}  // namespace dkq
