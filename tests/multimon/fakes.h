// The window, the user's answers and the clock of multimon tests, and a core
// that uses them in a scratch folder with a settings store of its own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include "common/text.h"
#include "common/text_file.h"
#include "link/module_link.h"
#include "multimon/monitor_core.h"
#include "tests/support/core_fakes.h"
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
