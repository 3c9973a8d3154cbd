#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "common/registry_key.h"
#include "common/text.h"
#include "link/module_link.h"
#include "multimon/monitor_core.h"
#include "multimon/monitor_settings.h"
#include "tests/multimon/fakes.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

class SettingsTest : public ::testing::Test {
  protected:
    SettingsTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

    RegistryKey& sharedKey() {
        key_.CreateKey(RegistryRoot::CurrentUser, MonitorKeyPath);
        key_.Open(RegistryRoot::CurrentUser, MonitorKeyPath);
        return key_;
    }

    // A file whose lines are given as UTF-8 text.
    std::string writeConfig(const std::string& name, const std::string& text) {
        const std::string path = dir_.file(name);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const std::string bytes = encodeTextFile(text);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        return path;
    }

    test::ScratchDir dir_;
    RegistryKey key_;
    MonitorSettings settings_;
    ModuleTable modules_ = defaultModuleTable();
};

TEST_F(SettingsTest, FirstStartCreatesTheKeyAndKeepsTheDefaults) {
    loadRegistrySettings(settings_, modules_);
    EXPECT_TRUE(std::filesystem::exists(dir_.file("Veldmark/DKQ-1.conf")));
    EXPECT_EQ(settings_.comPort, 1);
    EXPECT_EQ(settings_.speed, 9600);
    EXPECT_EQ(modules_[0].busAddress, 1);
    EXPECT_EQ(modules_[1].busAddress, 0);
    EXPECT_EQ(settings_.recordPeriod(), 0);
    EXPECT_EQ(settings_.fileName, "pomiary.csv");
    EXPECT_EQ(settings_.testOuts, 1);
}

TEST_F(SettingsTest, AKeyOfAnotherProgramGivesItsConnectionAndAnEmptyFileName) {
    RegistryKey& key = sharedKey();
    key.WriteDword("ComPORT", 4);
    key.WriteDword("Speed", 19200);
    key.WriteString("Adres_IP", "192.168.2.1");
    key.WriteDword("Port_TCP", 23);
    key.WriteDword("Polaczenie_TCP", 1);
    key.WriteDword("BusAdr", 9);  // the configurator's own value, not ours
    loadRegistrySettings(settings_, modules_);
    EXPECT_EQ(settings_.comPort, 4);
    EXPECT_EQ(settings_.speed, 19200);
    EXPECT_EQ(settings_.ipAddress, "192.168.2.1");
    EXPECT_EQ(settings_.tcpPort, 23);
    EXPECT_EQ(settings_.useTcp, 1);
    EXPECT_EQ(settings_.fileName, "");
    EXPECT_EQ(modules_[0].busAddress, 1);
    EXPECT_EQ(settings_.testOuts, 1);
    EXPECT_EQ(settings_.splitFile, 0);
}

TEST_F(SettingsTest, SavedValuesComeBackAndAreSharedUnderTheirNames) {
    sharedKey();
    settings_.comPort = 3;
    settings_.speed = 115200;
    settings_.testOuts = 0;
    settings_.setRecordPeriod(2 * 3600 + 3 * 60 + 4);
    settings_.fileName = "dane z hali.csv";
    settings_.ipAddress = "10.1.2.3";
    settings_.tcpPort = 4001;
    settings_.useTcp = 1;
    settings_.splitFile = 1;
    modules_[3].busAddress = 31;
    ASSERT_TRUE(saveRegistrySettings(settings_, modules_));

    MonitorSettings loaded;
    ModuleTable loadedModules = defaultModuleTable();
    loadRegistrySettings(loaded, loadedModules);
    EXPECT_EQ(loaded.comPort, 3);
    EXPECT_EQ(loaded.speed, 115200);
    EXPECT_EQ(loaded.testOuts, 0);
    EXPECT_EQ(loaded.periodHours, 2);
    EXPECT_EQ(loaded.periodMinutes, 3);
    EXPECT_EQ(loaded.periodSeconds, 4);
    EXPECT_EQ(loaded.fileName, "dane z hali.csv");
    EXPECT_EQ(loaded.ipAddress, "10.1.2.3");
    EXPECT_EQ(loaded.tcpPort, 4001);
    EXPECT_EQ(loaded.useTcp, 1);
    EXPECT_EQ(loaded.splitFile, 1);
    EXPECT_EQ(loadedModules[3].busAddress, 31);

    RegistryKey configurator;
    ASSERT_TRUE(configurator.Open(RegistryRoot::CurrentUser, MonitorKeyPath));
    std::uint32_t period = 0;
    ASSERT_TRUE(configurator.ReadDword("RecPeriod", period));
    EXPECT_EQ(period, 7384u);
    std::uint32_t busAddress = 0;
    ASSERT_TRUE(configurator.ReadDword("BusAdr_D", busAddress));
    EXPECT_EQ(busAddress, 31u);
}

TEST_F(SettingsTest, ConfigurationFilesAreCp1250WithCrLfInTheirLineOrder) {
    settings_.comPort = 2;
    settings_.setRecordPeriod(3725);
    settings_.splitFile = 1;
    settings_.reservedValue = 77;
    settings_.fileName = "";
    settings_.useTcp = 1;
    settings_.ipAddress = "127.0.0.1";
    settings_.tcpPort = 4001;
    modules_[2].busAddress = 3;
    modules_[0].channels[0] = {KindCelsius, 2732, 3732, "Temp. wejście"};
    const std::string path = dir_.file("a.cfg");
    ASSERT_EQ(saveConfigFile(path, settings_, modules_, 1), ConfigFileResult::Ok);
    const std::string bytes = test::readFileBytes(path);
    const std::string head =
        "DKQ-1-5\r\n2,9600,77,0,1,3725,1,0\r\n1,0,3,0,0\r\npomiary1.csv\r\n"
        "0,2732,3732,Temp. wej\x9C"
        "cie\r\n1,0,4092,Linia2A\r\n";
    const std::string tail = "0,0,1000,Cnt4E\r\n1\r\n127.0.0.1\r\n4001\r\n1\r\n";
    EXPECT_EQ(bytes.substr(0, head.size()), head);
    EXPECT_EQ(bytes.substr(bytes.size() - tail.size()), tail);
    EXPECT_EQ(decodeTextLines(bytes).size(), 108u);
    EXPECT_EQ(settings_.fileName, "pomiary1.csv");
}

TEST_F(SettingsTest, ConfigurationFilesRoundTrip) {
    settings_.comPort = 5;
    settings_.speed = 38400;
    settings_.reservedValue = 9;
    settings_.testOuts = 0;
    settings_.setRecordPeriod(100000LL * 3600 + 59 * 60 + 59);
    settings_.fileName = "pomiary hali 2.csv";
    settings_.splitFile = 1;
    settings_.useTcp = 1;
    settings_.ipAddress = "192.168.2.10";
    settings_.tcpPort = 23;
    for (int module = 0; module < ModuleCount; ++module) {
        modules_[module].busAddress = module + 1;
        for (int entry = 0; entry < EntryCount; ++entry)
            modules_[module].channels[entry] = {
                entry % 4, -entry, 1000 + module * 100 + entry,
                "Ł, " + std::to_string(module) + " " + std::to_string(entry)};
    }
    const std::string path = dir_.file("round.cfg");
    ASSERT_EQ(saveConfigFile(path, settings_, modules_, 1), ConfigFileResult::Ok);

    MonitorSettings loaded;
    ModuleTable loadedModules = defaultModuleTable();
    ASSERT_EQ(loadConfigFile(path, loaded, loadedModules), ConfigFileResult::Ok);
    EXPECT_EQ(loaded.comPort, 5);
    EXPECT_EQ(loaded.speed, 38400);
    EXPECT_EQ(loaded.reservedValue, 9);
    EXPECT_EQ(loaded.testOuts, 0);
    EXPECT_EQ(loaded.recordPeriod(), settings_.recordPeriod());
    EXPECT_EQ(loaded.fileName, "pomiary hali 2.csv");
    EXPECT_EQ(loaded.splitFile, 1);
    EXPECT_EQ(loaded.useTcp, 1);
    EXPECT_EQ(loaded.ipAddress, "192.168.2.10");
    EXPECT_EQ(loaded.tcpPort, 23);
    for (int module = 0; module < ModuleCount; ++module) {
        EXPECT_EQ(loadedModules[module].busAddress, module + 1);
        for (int entry = 0; entry < EntryCount; ++entry) {
            const ChannelConfig& saved = modules_[module].channels[entry];
            const ChannelConfig& read = loadedModules[module].channels[entry];
            EXPECT_EQ(read.kind, saved.kind);
            EXPECT_EQ(read.min, saved.min);
            EXPECT_EQ(read.max, saved.max);
            EXPECT_EQ(read.name, saved.name);
        }
    }
}

TEST_F(SettingsTest, ShortAndOddLinesLoadAsDescribed) {
    settings_.splitFile = 1;
    settings_.ipAddress = "10.0.0.1";
    settings_.tcpPort = 502;
    modules_[1].channels[2].max = 999;
    const std::string path =
        writeConfig("short.cfg",
                    "DKQ-1-5 comment\n4,19200,0,0,0,-5\n1,2\n\n"
                    "0,0,100,Hala północna lewa\n"  // A L1: 18 characters, cut to 15
                    "3,1,2\n"                       // A L2: no name
                    "1,2,3,ab,cd\n"                 // A L3: commas belong to the name
                    "x\n");                         // A L4: nothing parses
    ASSERT_EQ(loadConfigFile(path, settings_, modules_), ConfigFileResult::Ok);
    EXPECT_EQ(settings_.comPort, 4);
    EXPECT_EQ(settings_.speed, 19200);
    EXPECT_EQ(settings_.testOuts, 0);
    EXPECT_EQ(settings_.recordPeriod(), 0);
    EXPECT_EQ(settings_.splitFile, 0);  // only six numbers
    EXPECT_EQ(modules_[0].busAddress, 1);
    EXPECT_EQ(modules_[1].busAddress, 2);
    EXPECT_EQ(settings_.fileName, "pomiar1.csv");
    EXPECT_EQ(modules_[0].channels[0].name, "Hala północna l");
    EXPECT_EQ(modules_[0].channels[1].kind, 3);
    EXPECT_EQ(modules_[0].channels[1].name, "Linia L2A");
    EXPECT_EQ(modules_[0].channels[2].name, "ab,cd");
    EXPECT_EQ(modules_[0].channels[3].kind, KindVolts);
    EXPECT_EQ(modules_[0].channels[3].name, "Linia L4A");
    // Lines past the end: values kept, names replaced.
    EXPECT_EQ(modules_[1].channels[2].max, 999);
    EXPECT_EQ(modules_[1].channels[2].name, "Linia L3B");
    EXPECT_EQ(modules_[4].channels[19].name, "Linia L20E");
    EXPECT_EQ(settings_.ipAddress, "10.0.0.1");
    EXPECT_EQ(settings_.tcpPort, 502);
}

TEST_F(SettingsTest, ANameAfterTheHundredthCharacterIsNotTaken) {
    const std::string path = writeConfig(
        "far.cfg", "DKQ-1-5\n1,9600,0,0,1,0,0,0\n1,0,0,0,0\npomiary.csv\n" + std::string("1,2,3") +
                       std::string(100, ' ') + ",x\n" + "1, 2, 3,   spaces kept  \n");
    ASSERT_EQ(loadConfigFile(path, settings_, modules_), ConfigFileResult::Ok);
    EXPECT_EQ(modules_[0].channels[0].name, "Linia L1A");
    EXPECT_EQ(modules_[0].channels[1].name, "   spaces kept ");
}

// --- through the core: the buttons and the command line ---------------------

class SettingsCoreTest : public SettingsTest {
  protected:
    ModuleLink link_;
    test::FakeView view_;
    test::ScriptedPrompter prompter_;
    test::FakeClock clock_;
    MonitorCore core_{link_, view_, prompter_, clock_};
};

TEST_F(SettingsCoreTest, SavingUpperCasesOnlyTheFileName) {
    std::filesystem::create_directory(dir_.file("konfiguracje"));
    prompter_.saveAnswers.push_back(dir_.file("konfiguracje/setup.cfg"));
    core_.saveConfigFile();
    EXPECT_EQ(prompter_.dialogs,
              std::vector<std::string>{"Pliki konfiguracji (*.CFG)|*.cfg|| cfg"});
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_TRUE(std::filesystem::exists(dir_.file("konfiguracje/SETUP.CFG")));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("konfiguracje/setup.cfg")));
}

TEST_F(SettingsCoreTest, AFailedSaveSaysSoAndCreatesNothing) {
    prompter_.saveAnswers.push_back(dir_.file("missing/setup.cfg"));
    core_.saveConfigFile();
    EXPECT_EQ(prompter_.messages,
              (test::Messages{{"Błąd zapisu konfiguracji !", MessageIcon::None}}));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
    prompter_.messages.clear();
    core_.saveConfigFile();  // cancelled
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_F(SettingsCoreTest, LoadingAFileOfAnotherFormatChangesNothing) {
    view_.fields.comPort = 6;
    const std::string path = writeConfig("web.cfg", "DKQ-1\n2,9600,0,0,1,0,0,0\n3,3,3,3,3\n");
    EXPECT_FALSE(core_.loadConfigFile(path));
    EXPECT_EQ(prompter_.messages,
              (test::Messages{{"Nieprawidłowy format pliku !", MessageIcon::None}}));
    EXPECT_EQ(core_.settings().comPort, 6);
    EXPECT_EQ(core_.modules()[1].busAddress, 0);
}

TEST_F(SettingsCoreTest, LoadingSwitchesModulesOnAndOff) {
    core_.SelectModule(4);
    const std::string path = writeConfig("ad.cfg", "DKQ-1-5\n1,9600,0,0,1,0,0,0\n7,0,0,9,0\n");
    EXPECT_TRUE(core_.loadConfigFile(path));
    EXPECT_EQ(view_.moduleEnabled,
              (std::array<bool, ModuleCount>{true, false, false, true, false}));
    EXPECT_EQ(core_.selectedModule(), 0);
    EXPECT_EQ(view_.shownModule, 0);
    core_.SelectModule(3);
    EXPECT_EQ(view_.shownModule, 3);
    EXPECT_EQ(view_.moduleSlot.channels[0].name, "Linia L1D");
}

TEST_F(SettingsCoreTest, StartAloneOnTheCommandLineIsTakenAsAFileName) {
    core_.startUp(splitCommandLine("/start"));
    EXPECT_EQ(prompter_.messages,
              (test::Messages{{"Błąd odczytu konfiguracji !", MessageIcon::None}}));
    EXPECT_FALSE(core_.monitoring());
}

TEST_F(SettingsCoreTest, RegistryValuesSurviveAStartUpWithAFileAndAreSavedAtClose) {
    sharedKey().WriteDword("Speed", 4800);
    const std::string path =
        writeConfig("b.cfg", "DKQ-1-5\n2,1200,0,0,1,0,0,0\n1,2,0,0,0\npomiary b.csv\n");
    core_.startUp({path});
    EXPECT_TRUE(prompter_.messages.empty());
    EXPECT_EQ(core_.settings().speed, 1200);
    EXPECT_EQ(view_.fields.fileName, "pomiary b.csv");
    view_.fields.periodSeconds = 30;
    core_.shutDown();
    MonitorSettings saved;
    ModuleTable savedModules = defaultModuleTable();
    loadRegistrySettings(saved, savedModules);
    EXPECT_EQ(saved.speed, 1200);
    EXPECT_EQ(saved.recordPeriod(), 30);
    EXPECT_EQ(saved.fileName, "pomiary b.csv");
    EXPECT_EQ(savedModules[1].busAddress, 2);
}

}  // namespace
}  // namespace dkq
