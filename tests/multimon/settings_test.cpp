// Registry settings shared with the other programs, configuration files, the
// communication dialog's values, and the buttons and command line using them.
#include <algorithm>
#include <climits>
#include <filesystem>

#include "monitor/line_setup.h"
#include "multimon/comm_settings.h"
#include "multimon/module_table.h"
#include "multimon/monitor_settings.h"
#include "settings/registry_key.h"
#include "tests/multimon/fakes.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;
using test::Messages;

// What the registry keeps, in one line: port, speed, output measurements,
// period, file name, address:port, TCP, split file, then the bus addresses.
std::string kept(const MonitorSettings& s, const ModuleTable& modules) {
    std::string text = std::to_string(s.comPort) + "," + std::to_string(s.speed) + "," +
                       std::to_string(s.testOuts) + "," + std::to_string(s.recordPeriod()) + "," +
                       s.fileName + "," + s.ipAddress + ":" + std::to_string(s.tcpPort) + "," +
                       std::to_string(s.useTcp) + "," + std::to_string(s.splitFile);
    for (const ModuleSlot& slot : modules) text += "," + std::to_string(slot.busAddress);
    return text;
}

class SettingsTest : public test::CoreTest {
  protected:
    // Field by field: a whole MonitorSettings temporary trips GCC 12's
    // -Wmaybe-uninitialized in Release builds.
    void setSettings(const LinkSettings& link, const RecordPeriodFields& period, int reserved,
                     int testOuts, const std::string& file, int split) {
        static_cast<LinkSettings&>(settings_) = link;
        static_cast<RecordPeriodFields&>(settings_) = period;
        settings_.reservedValue = reserved;
        settings_.testOuts = testOuts;
        settings_.fileName = file;
        settings_.splitFile = split;
    }
    RegistryKey& sharedKey() {
        key_.CreateKey(RegistryRoot::CurrentUser, MonitorKeyPath);
        key_.Open(RegistryRoot::CurrentUser, MonitorKeyPath);
        return key_;
    }
    std::string loaded() {
        MonitorSettings settings;
        ModuleTable modules = defaultModuleTable();
        loadMonitorSettings(settings, modules);
        return kept(settings, modules);
    }

    RegistryKey key_;
    MonitorSettings settings_;
    ModuleTable modules_ = defaultModuleTable();
};

TEST_F(SettingsTest, TheRegistryGivesDefaultsAndSharesValuesWithTheOtherPrograms) {
    EXPECT_EQ(loaded(), "1,9600,1,0,pomiary.csv,:0,0,0,1,0,0,0,0");
    EXPECT_TRUE(fs::exists(dir_.file("Veldmark/DKQ-1.conf")));  // created on the first start
    RegistryKey& key = sharedKey();
    key.WriteDword("ComPORT", 4);
    key.WriteDword("Speed", 19200);
    key.WriteString("Adres_IP", "192.168.2.1");
    key.WriteDword("Port_TCP", 23);
    key.WriteDword("Polaczenie_TCP", 1);
    key.WriteDword("BusAdr", 9);  // the configurator's own value, not ours
    EXPECT_EQ(loaded(), "4,19200,1,0,,192.168.2.1:23,1,0,1,0,0,0,0");

    setSettings({3, 115200, 1, "10.1.2.3", 4001}, {2, 3, 4}, 0, 0, "dane z hali.csv", 1);
    modules_[3].busAddress = 31;
    ASSERT_TRUE(saveMonitorSettings(settings_, modules_));
    EXPECT_EQ(loaded(), "3,115200,0,7384,dane z hali.csv,10.1.2.3:4001,1,1,1,0,0,31,0");
    std::uint32_t period = 0;
    std::uint32_t busAddress = 0;
    EXPECT_TRUE(key.ReadDword("RecPeriod", period) && key.ReadDword("BusAdr_D", busAddress));
    EXPECT_EQ(period, 7384u);
    EXPECT_EQ(busAddress, 31u);
}

// Whatever the registry or a file holds is taken into the field's range as
// it is read, texts cut to the field (see also the odd lines below); the line
// setup converts any int.
TEST_F(SettingsTest, ValuesOutOfRangeAreTakenIntoItAsTheyAreRead) {
    RegistryKey& key = sharedKey();
    for (const char* name : {"ComPORT", "Speed", "TestOuts", "Port_TCP", "Polaczenie_TCP",
                             "Podzial_pliku", "BusAdr_A", "RecPeriod"})
        key.WriteDword(name, 4294967295u);
    key.WriteDword("BusAdr_B", 257);
    key.WriteString("Fname", "../x/" + std::string(300, 'f'));  // cut to 255, then to its name
    key.WriteString("Adres_IP", std::string(100000, '1'));
    EXPECT_EQ(loaded(), "255,115200,1,360003599," + std::string(250, 'f') + "," +
                            std::string(255, '1') + ":65535,1,1,31,31,0,0,0");
    const std::string path = writeText("range.cfg", "DKQ-1-5\n" + std::string(103, '\n') + "-1\n" +
                                                        std::string(100000, '2') + "\n70000\n");
    ASSERT_EQ(loadMonitorConfigFile(path, settings_, modules_), MonitorConfigResult::Ok);
    EXPECT_EQ(kept(settings_, modules_),
              "1,9600,1,0,pomiar1.csv," + std::string(255, '2') + ":65535,0,0,1,0,0,0,0");
    ChannelTable channels = defaultChannels("A");
    channels[0] = {KindCelsius, INT_MIN, INT_MAX, "Skraj"};
    const LineSetupFields fields = lineSetupFields(channels);
    EXPECT_EQ(fields.mins[0] + ".." + fields.maxes[0], "-2.14749e+08..2.14748e+08");
}

TEST_F(SettingsTest, ConfigurationFilesAreCp1250WithCrLfAndRoundTrip) {
    setSettings({2, 9600, 1, "127.0.0.1", 4001}, {100000, 59, 59}, 77, 0, "", 1);
    for (int module = 0; module < ModuleCount; ++module) {
        modules_[module].busAddress = module + 1;
        for (int entry = 0; entry < EntryCount; ++entry)
            modules_[module].channels[entry] = {
                entry % 4, entry, 1000 + module * 100 + entry,
                "Ł, " + std::to_string(module) + " " + std::to_string(entry)};
    }
    const std::string path = dir_.file("a.cfg");
    ASSERT_EQ(saveMonitorConfigFile(path, settings_, modules_, 1), MonitorConfigResult::Ok);
    const std::string bytes = test::readFileBytes(path);
    const std::string head =
        "DKQ-1-5\r\n2,9600,77,0,0,360003599,1,0\r\n1,2,3,4,5\r\npomiary1.csv\r\n"
        "0,0,1000,\xA3, 0 0\r\n1,1,1001,\xA3, 0 1\r\n";
    const std::string tail = "3,19,1419,\xA3, 4 19\r\n1\r\n127.0.0.1\r\n4001\r\n1\r\n";
    EXPECT_EQ(bytes.substr(0, head.size()), head);
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    EXPECT_EQ(decodeTextLines(bytes).size(), 108u);
    EXPECT_EQ(settings_.fileName, "pomiary1.csv");
    MonitorSettings loaded;
    ModuleTable loadedModules = defaultModuleTable();
    ASSERT_EQ(loadMonitorConfigFile(path, loaded, loadedModules), MonitorConfigResult::Ok);
    EXPECT_EQ(configFileText(loaded, loadedModules, 1), configFileText(settings_, modules_, 1));
}

TEST_F(SettingsTest, ShortAndOddLinesLoadAsDescribed) {
    settings_.splitFile = 1;
    settings_.ipAddress = "10.0.0.1";
    settings_.tcpPort = 502;
    modules_[1].channels[2].max = 999;
    const std::string path =
        writeText("short.cfg",
                  "DKQ-1-5 comment\n0,99,0,0,-3,-5\n257,-1\n../x/\n"  // no file name
                  "0,-2147483648,2147483647,Hala północna lewa\n"     // A L1: name cut to 15
                  "3,1,2\n"                                           // A L2: no name
                  "1,2,3,ab,cd\n"  // A L3: commas belong to the name
                  "x\n"            // A L4: nothing parses
                  "1,2,3" +
                      std::string(100, ' ') +
                      ",x\n"                          // A L5: comma too far
                      "1, 2, 3,   spaces kept  \n");  // A L6
    ASSERT_EQ(loadMonitorConfigFile(path, settings_, modules_), MonitorConfigResult::Ok);
    // Only six numbers on the second line: the split flag is cleared.
    EXPECT_EQ(kept(settings_, modules_), "1,150,0,0,pomiar1.csv,10.0.0.1:502,0,0,31,0,0,0,0");
    EXPECT_EQ(modules_[0].channels[0].min + modules_[0].channels[0].max, 0 + 65535);
    std::string names;
    for (int entry = 0; entry < 6; ++entry) names += modules_[0].channels[entry].name + "|";
    EXPECT_EQ(names, "Hala północna l|Linia L2A|ab,cd|Linia L4A|Linia L5A|   spaces kept |");
    EXPECT_EQ(modules_[0].channels[1].kind, 3);
    EXPECT_EQ(modules_[0].channels[3].kind, KindVolts);
    // Lines past the end: values kept, names replaced.
    EXPECT_EQ(modules_[1].channels[2].max, 999);
    EXPECT_EQ(modules_[1].channels[2].name, "Linia L3B");
    EXPECT_EQ(modules_[4].channels[19].name, "Linia L20E");
}

// The record's header names, then units, of the switched-on modules only.
TEST_F(SettingsTest, TheRecordHeaderNamesTheSwitchedOnModulesLines) {
    modules_[2].busAddress = 5;  // A and C switched on
    modules_[0].channels[0] = {KindCelsius, 0, 0, "Temp"};
    modules_[0].channels[1] = {KindKelvin, 0, 0, "Kelwin"};
    modules_[0].channels[2] = {KindRaw, 0, 0, "Surowa"};
    modules_[0].channels[3] = {6, 0, 0, "Inna"};
    const auto lines = decodeTextLines(encodeTextFile(csvHeader(modules_)));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ';'), 42);
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), ';'), 42);  // kind 6 in raw units
    EXPECT_TRUE(lines[0].starts_with("Lp;Czas   ;Temp;Kelwin;Surowa;Inna;Linia5A;"));
    EXPECT_TRUE(
        lines[0].ends_with("Cnt4A;Linia1C;Linia2C;Linia3C;Linia4C;Linia5C;Linia6C;"
                           "Linia7C;Linia8C;Linia9C;Linia10C;Linia11C;Linia12C;"
                           "Linia13C;Linia14C;Linia15C;Linia16C;Cnt1C;Cnt2C;Cnt3C;Cnt4C;"));
    EXPECT_TRUE(lines[1].starts_with(";;T [°C];T [K];[0-4092];[0-4092];U [V];"));
    EXPECT_TRUE(lines[1].ends_with("U [V];[imp];[imp];[imp];[imp];"));
}

// --- the communication dialog's values ------------------------------------------

TEST_F(SettingsTest, TheCommunicationDialogChecksRanges) {
    CommSettings comm;
    comm.busAddresses = {1, 0, 0, 0, 0};
    // The prompt when one field holds text, or "" when OK takes the fields.
    const auto prompt = [&](int field, const char* text) -> std::string {
        CommFields fields = commFields(comm);
        std::string* texts[] = {&fields.comPort, &fields.speed, &fields.ipAddress, &fields.tcpPort};
        const int bus = field - FirstBusAddressField;
        *(bus < 0 ? texts[field] : &fields.busAddresses[bus]) = text;
        fields.useTcp = true;
        CommSettings taken = comm;
        const auto problem = readCommFields(fields, multimonCommShape(), taken);
        if (!problem) return "";
        EXPECT_EQ(problem->field, field);
        EXPECT_FALSE(taken.useTcp);
        return problem->prompt;
    };
    EXPECT_EQ(prompt(ComPortField, "0"), "Please enter an integer between 1 and 255.");
    EXPECT_EQ(prompt(SpeedField, "115201"), "Please enter an integer between 150 and 115200.");
    EXPECT_EQ(prompt(IpAddressField, "192.168.200.200:40001"),
              "Please enter no more than 20 characters.");
    EXPECT_EQ(prompt(TcpPortField, "65536"), "Please enter an integer between 0 and 65535.");
    EXPECT_EQ(prompt(FirstBusAddressField, "0"), "Please enter an integer between 1 and 31.");
    EXPECT_EQ(prompt(FirstBusAddressField + 4, "32"), "Please enter an integer between 0 and 31.");
    EXPECT_EQ(prompt(FirstBusAddressField + 2, "B"), "Please enter an integer.");
}

// --- through the core: dialogs, buttons and the command line ------------------------

// The CSV file keeps only its name; a saved configuration upper-cases only its
// file name.
TEST_F(SettingsTest, FileDialogsOfTheCsvNameAndOfSaving) {
    fs::create_directory(dir_.file("konfiguracje"));
    prompter_.saveAnswers = {"/home/jan/dane/pomiary 2.csv", std::nullopt,
                             dir_.file("konfiguracje/setup.cfg"), dir_.file("missing/setup.cfg"),
                             std::nullopt};
    core_.chooseCsvFile();
    core_.chooseCsvFile();
    EXPECT_EQ(view_.fields.fileName, "pomiary 2.csv");
    for (int click = 0; click < 3; ++click) core_.saveConfigFile();
    std::vector<std::string> dialogs(2, "Arkusze CSV (*.CSV)|*.csv|| csv");
    dialogs.resize(5, "Pliki konfiguracji (*.CFG)|*.cfg|| cfg");
    EXPECT_EQ(prompter_.dialogs, dialogs);
    EXPECT_EQ(prompter_.messages, (Messages{{"Błąd zapisu konfiguracji !", MessageIcon::None}}));
    EXPECT_TRUE(fs::exists(dir_.file("konfiguracje/SETUP.CFG")));
    EXPECT_FALSE(fs::exists(dir_.file("konfiguracje/setup.cfg")));
    EXPECT_FALSE(fs::exists(dir_.file("missing")));
}

TEST_F(SettingsTest, LoadingRefusesAMissingFileAndAnotherFormatAndSwitchesModulesOn) {
    core_.startUp(splitCommandLine("/start"));  // taken as a file name
    EXPECT_FALSE(core_.monitoring());
    view_.fields.comPort = 6;
    EXPECT_FALSE(core_.loadConfigFile(writeText("web.cfg", "DKQ-1\n2,9600,0\n3,3,3,3,3\n")));
    EXPECT_EQ(prompter_.messages, (Messages{{"Błąd odczytu konfiguracji !", MessageIcon::None},
                                            {"Nieprawidłowy format pliku !", MessageIcon::None}}));
    EXPECT_EQ(core_.settings().comPort, 6);
    EXPECT_EQ(core_.modules()[1].busAddress, 0);

    core_.SelectModule(4);
    EXPECT_TRUE(core_.loadConfigFile(writeText("ad.cfg", "DKQ-1-5\n1,9600\n7,0,0,9,0\n")));
    EXPECT_EQ(view_.moduleEnabled,
              (std::array<bool, ModuleCount>{true, false, false, true, false}));
    EXPECT_EQ(view_.shownModule, 0);
}

}  // namespace
}  // namespace dkq
