// What the acquisition core tells the main window to show. The window
// implements it with its controls; tests implement it with a recording fake.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "monitor/measurement.h"
#include "monitor/monitor_commands.h"
#include "monitor/monitor_report.h"
#include "multimon/module_table.h"
#include "multimon/monitor_settings.h"

namespace dkq {

class MonitorView : public virtual RecordingView {
  public:
    // Copies the fields the user edits into settings: recording period,
    // file name, split box, "Pomiary linii wyjściowych", communication values.
    virtual void readFields(MonitorSettings& settings) = 0;
    // Puts settings back into those fields.
    virtual void showFields(const MonitorSettings& settings) = 0;

    // The selected module's names and bar ranges, firmware text and mode
    // indicators; with its PWM flag set O11, O12 and the C2 column are hidden.
    virtual void showModule(int module, const ModuleSlot& slot) = 0;
    // The selected module's bar positions and value texts; every error counter.
    virtual void showValues(const ModuleSlot& slot,
                            const std::array<int, ModuleCount>& errorCounts) = 0;
    // Radio buttons and error fields of the modules that are switched on.
    virtual void showModuleChoice(const std::array<bool, ModuleCount>& enabled,
                                  int selectedModule) = 0;

    virtual void showFileProblem(const FileProblem& problem) = 0;
    // The part file being written, shown only while splitting.
    virtual void showPartPath(bool visible, const std::string& path) = 0;
};

}  // namespace dkq
