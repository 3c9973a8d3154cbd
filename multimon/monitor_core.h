// The multimon core: START, the once-a-second acquisition tick and STOP over
// one ModuleLink, the five modules' state, the CSV recorder, settings and
// configuration files. It owns no timer and no window: the main window calls
// AcquisitionTick from its 1000 ms timer while showMonitoring(true) holds,
// forwards clicks, and renders what the core reports through MonitorView.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/prompter.h"
#include "link/module_link.h"
#include "monitor/csv_recorder.h"
#include "monitor/record_countdown.h"
#include "monitor/silent_module.h"
#include "monitor/trend_buffer.h"
#include "multimon/comm_settings.h"
#include "multimon/module_table.h"
#include "multimon/monitor_settings.h"
#include "multimon/monitor_view.h"

namespace dkq {

class MonitorCore : public MonitorCommands {
  public:
    // Installs comPortDevice as the link's ComDevice.
    MonitorCore(ModuleLink& link, MonitorView& view, Prompter& prompter, Clock& clock,
                int recordsPerPart = DefaultRecordsPerPart);

    // Main window start: socket library, registry settings, the configuration
    // file named by the first command word, module controls, and START when
    // the second word begins with "/start".
    void startUp(const std::vector<std::string>& commandWords);
    // Main window close: stops the socket library, saves the registry
    // settings and, as STOP does, tries the records still waiting for their
    // file once more. Returns how many could not be written (still waiting, or
    // dropped past the bound of waiting records): they are lost.
    // Nothing starts afterwards, also when the close came while START or a
    // tick waited for an answer to a message.
    std::size_t shutDown() override;

    void StartMonitoring() override;
    void AcquisitionTick() override;
    void StopMonitoring() override;

    // Output check box O(output+1); written to the selected module next tick.
    void SetOutput(int output, bool on) override;
    // CLR1..CLR4 (counter 0..3); sent to the selected module next tick.
    void RequestCounterClear(int counter) override;
    void SelectModule(int module);
    // Enables the modules that are switched on; falls back to module A when
    // the selected one was switched off.
    void updateModuleControls();
    void refreshModuleView();
    void refreshValues();

    // "Komunikacja": the values its dialog opens with; when it closes (OK
    // gives the new values, Cancel none) the module controls and the selected
    // module are shown again.
    CommSettings commSettings() override;
    void commSettingsClosed(const std::optional<CommSettings>& accepted) override;

    // The two configuration file buttons and the "..." button of the CSV name.
    void saveConfigFile() override;
    bool loadConfigFile(const std::string& path) override;
    void chooseCsvFile() override;

    bool monitoring() const { return monitoring_; }
    int recordCountdown() const { return recordCountdown_.value(); }
    int savedCount() const { return savedCount_; }
    int consecutiveFailures() const { return consecutiveFailures_; }
    int selectedModule() const { return selectedModule_; }
    int tcpLatch() const { return tcpLatch_; }
    MonitorSettings& settings() { return settings_; }
    ModuleTable& modules() { return modules_; }
    // The readings of a module since START, for its trend chart.
    const TrendBuffer& trend(int module) const { return trends_[module]; }
    const OutputState& outputs() const { return outputs_; }
    const CsvRecorder& recorder() const { return recorder_; }

  private:
    ModuleSlot& selected() { return modules_[selectedModule_]; }
    void applyLinkSettings();
    bool openLinkForStart();
    void resetReadings();
    bool checkModule(int module);
    void failStart(const std::string& text);
    void reconnectIfDue();
    void writePendingRequests();
    std::string readModules(const std::tm& time);
    bool anotherModuleAnswers(int module) const;
    void takeReadings(ModuleSlot& slot, const std::array<std::int32_t, EntryCount>& values,
                      std::string& row);
    void markUnread(ModuleSlot& slot, std::string& row);
    // What the failed reads of one tick say about the connection.
    struct TickFailures {
        bool anyRead = false;
        bool connectionFailed = false;
        bool longBackOff = false;  // the last connection failure calls for at least 20 s
    };
    void countFailedRead(ModuleSlot& slot, int code, TickFailures& failures);
    void backOff(bool atLeastMinimum);
    void recordRow(const std::tm& time, const std::string& row);
    void readBackSelected();
    void showFileProblem(bool startFailed = false);
    void showVariables();

    ModuleLink& link_;
    MonitorView& view_;
    Prompter& prompter_;
    Clock& clock_;
    MonitorSettings settings_;
    ModuleTable modules_ = defaultModuleTable();
    OutputState outputs_;
    CsvRecorder recorder_;
    std::array<TrendBuffer, ModuleCount> trends_;
    std::array<SilentModuleSchedule, ModuleCount> reads_;
    SilentModuleSchedule readBack_;  // of the selected module

    bool monitoring_ = false;
    bool ended_ = false;  // shut down: nothing starts or is written any more
    RecordCountdown recordCountdown_;
    int consecutiveFailures_ = 0;
    bool outputsDirty_ = false;
    int counterClearMask_ = 0;
    int selectedModule_ = 0;
    int tcpLatch_ = 0;
    int savedCount_ = 0;
};

}  // namespace dkq
