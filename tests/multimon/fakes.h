// The window, the user's answers and the clock of multimon tests.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/prompter.h"
#include "multimon/monitor_view.h"

namespace dkq::test {

// Keeps what the core last showed. `fields` is what the window's edit fields
// hold: tests change it the way a user types.
class FakeView : public MonitorView {
  public:
    void readFields(MonitorSettings& settings) override { settings = fields; }
    void showFields(const MonitorSettings& settings) override { fields = settings; }
    void showModule(int module, const ModuleSlot& slot) override {
        shownModule = module;
        moduleSlot = slot;
    }
    void showValues(const ModuleSlot& slot, const std::array<int, ModuleCount>& counts) override {
        valueSlot = slot;
        errorCounts = counts;
        ++valuesShown;
    }
    void showModuleChoice(const std::array<bool, ModuleCount>& enabled, int selected) override {
        moduleEnabled = enabled;
        choiceSelected = selected;
    }
    void showCountdown(int seconds) override { countdowns.push_back(seconds); }
    void showSavedCount(int count) override { savedCount = count; }
    void showReadback(const OutputReadback& shown) override { readback = shown; }
    void showConnectionLost(bool visible) override { connectionLost = visible; }
    void showFileProblem(const FileProblem& problem) override { fileProblem = problem; }
    void showPartPath(bool visible, const std::string& path) override {
        partPathVisible = visible;
        partPath = path;
    }
    void showMonitoring(bool on) override { monitoring = on; }

    MonitorSettings fields;
    int shownModule = -1;
    ModuleSlot moduleSlot;
    ModuleSlot valueSlot;
    std::array<int, ModuleCount> errorCounts{};
    int valuesShown = 0;
    std::array<bool, ModuleCount> moduleEnabled{};
    int choiceSelected = -1;
    std::vector<int> countdowns;
    int savedCount = 0;
    std::optional<OutputReadback> readback;
    bool connectionLost = false;
    FileProblem fileProblem;
    bool partPathVisible = false;
    std::string partPath;
    bool monitoring = false;
};

struct Message {
    std::string text;
    MessageIcon icon;
    bool operator==(const Message&) const = default;
};

using Messages = std::vector<Message>;

inline void PrintTo(const Message& message, std::ostream* out) {
    *out << "\"" << message.text << "\" icon " << static_cast<int>(message.icon);
}

// Records messages; answers file dialogs from a script.
class ScriptedPrompter : public Prompter {
  public:
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

    std::vector<Message> messages;
    std::vector<std::string> dialogs;
    std::deque<std::optional<std::string>> saveAnswers;
};

// Local time moves on by one second at each reading; sleeping only counts.
class FakeClock : public Clock {
  public:
    FakeClock() {
        now.tm_year = 124;
        now.tm_mon = 2;
        now.tm_mday = 5;
        now.tm_hour = 7;
        now.tm_min = 8;
        now.tm_sec = 9;
    }
    std::tm localNow() override {
        const std::tm shown = now;
        if (++now.tm_sec == 60) {
            now.tm_sec = 0;
            ++now.tm_min;
        }
        return shown;
    }
    void sleepMs(int ms) override { sleeps.push_back(ms); }

    std::tm now{};
    std::vector<int> sleeps;
};

}  // namespace dkq::test
