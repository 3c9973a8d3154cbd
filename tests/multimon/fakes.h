// The window, the user's answers and the clock of multimon tests, and a core
// that uses them in a scratch folder with a settings store of its own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <deque>
#include <iomanip>
#include <sstream>

#include "common/text.h"
#include "common/text_file.h"
#include "link/module_link.h"
#include "multimon/monitor_core.h"
#include "tests/support/sim_process.h"

namespace dkq::test {

// Keeps what the core last showed. `fields` is what the window's edit fields
// hold: tests change it the way a user types.
struct FakeView : MonitorView {
    void readFields(MonitorSettings& settings) override { settings = fields; }
    void showFields(const MonitorSettings& settings) override { fields = settings; }
    void showModule(int module, const ModuleSlot&) override { shownModule = module; }
    void showValues(const ModuleSlot& slot, const std::array<int, ModuleCount>& counts) override {
        valueSlot = slot;
        errorCounts = counts;
        ++valuesShown;
    }
    void showModuleChoice(const std::array<bool, ModuleCount>& enabled, int) override {
        moduleEnabled = enabled;
    }
    void showCountdown(int seconds) override { countdowns.push_back(seconds); }
    void showSavedCount(int count) override { savedCount = count; }
    void showReadback(const OutputReadback& shown) override { readback = shown; }
    void showConnectionLost(bool visible) override { connectionLost = visible; }
    void showFileProblem(const FileProblem& problem) override { fileProblem = problem; }
    void showPartPath(bool visible, const std::string& path) override {
        partPath = visible ? path : "";
    }
    void showMonitoring(bool on) override { monitoring = on; }

    MonitorSettings fields;
    int shownModule = -1, savedCount = 0, valuesShown = 0;
    ModuleSlot valueSlot;
    std::array<int, ModuleCount> errorCounts{};
    std::array<bool, ModuleCount> moduleEnabled{};
    std::vector<int> countdowns;
    std::optional<OutputReadback> readback;
    bool connectionLost = false, monitoring = false;
    FileProblem fileProblem;
    std::string partPath;  // empty while hidden
};

struct Message {
    std::string text;
    MessageIcon icon = MessageIcon::Error;
    bool operator==(const Message&) const = default;
};
using Messages = std::vector<Message>;
inline void PrintTo(const Message& message, std::ostream* out) {
    *out << "\"" << message.text << "\" icon " << static_cast<int>(message.icon);
}

// Records messages; answers file dialogs from a script (none left: Cancel).
struct ScriptedPrompter : Prompter {
    void message(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    bool askYesNo(const std::string&) override { return false; }
    std::optional<std::string> chooseSaveFile(const std::string& filter, const std::string& ext,
                                              const std::string&) override {
        dialogs.push_back(filter + " " + ext);
        if (saveAnswers.empty()) return std::nullopt;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    Messages messages;
    std::vector<std::string> dialogs;
    std::deque<std::optional<std::string>> saveAnswers;
};

// "2024-03-05 07:08:09" as local time.
inline std::tm localTime(const char* text) {
    std::tm time{};
    std::istringstream(text) >> std::get_time(&time, "%Y-%m-%d %H:%M:%S");
    return time;
}

// Local time moves on by one second at each reading; sleeping only counts.
struct FakeClock : Clock {
    std::tm localNow() override {
        const std::tm shown = now;
        ++now.tm_sec;  // no test reaches the next minute
        return shown;
    }
    void sleepMs(int ms) override { sleeps.push_back(ms); }

    std::tm now = localTime("2024-03-05 07:08:09");
    std::vector<int> sleeps;
};

class CoreTest : public ::testing::Test {
  protected:
    CoreTest() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }

    // A file of the given UTF-8 text as the programs write text files.
    std::string writeText(const std::string& name, const std::string& text) {
        EXPECT_TRUE(writeWholeFile(dir_.file(name), encodeTextFile(text)));
        return dir_.file(name);
    }

    ScratchDir dir_;
    ModuleLink link_;
    FakeView view_;
    ScriptedPrompter prompter_;
    FakeClock clock_;
    MonitorCore core_{link_, view_, prompter_, clock_};
};

}  // namespace dkq::test
