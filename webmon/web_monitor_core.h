// The webmon core: start-up with its command line, START, the once-a-second
// acquisition tick that records a CSV row every period and uploads each
// record, and STOP, over one ModuleLink and one module. It owns no timer and
// no window: the window calls AcquisitionTick from its 1000 ms timer while
// showMonitoring(true) holds, forwards clicks, and renders what the core
// reports through WebMonitorView.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/prompter.h"
#include "link/module_link.h"
#include "monitor/comm_settings.h"
#include "monitor/csv_recorder.h"
#include "monitor/record_countdown.h"
#include "monitor/silent_module.h"
#include "monitor/trend_buffer.h"
#include "upload/http_upload.h"
#include "webmon/web_monitor_view.h"
#include "webmon/web_settings.h"

namespace dkq {

// Both CSV header lines (UTF-8, "\n" line ends) of webmon's file.
std::string webCsvHeader(const ChannelTable& channels);
// "Ustawienia komunikacji z modułem DKQ-1": one bus address, the
// disconnect box and the hidden echo box.
const CommDialogShape& webCommShape();

class WebMonitorCore : public MonitorCommands {
  public:
    // Installs comPortDevice as the link's ComDevice.
    WebMonitorCore(ModuleLink& link, WebMonitorView& view, Prompter& prompter, Clock& clock,
                   const UploadLimits& uploadLimits = {});

    // Window start: registry settings, web-monitor.dat, the configuration
    // file named by the first word (unless it begins with "/" and names no
    // file), then "/log" and "/start" in the order the later words give them.
    void startUp(const std::vector<std::string>& commandWords);
    // Window close: STOP when recording (records still waiting for their file
    // are tried once more), stops the socket library, saves the registry
    // settings. Returns how many records could not be written: those still
    // waiting and those dropped past the bound of waiting records.
    // Nothing starts afterwards, also when the close came while START or a
    // tick waited for an answer to a message.
    std::size_t shutDown() override;

    void StartMonitoring() override;
    void AcquisitionTick() override;
    void StopMonitoring() override;

    // Output check box O(output+1); written at the next tick with the link open.
    void SetOutput(int output, bool on) override;
    // "CLR 1".."CLR 4" (counter 0..3); sent together at the next tick.
    void RequestCounterClear(int counter) override;

    // "Komunikacja": the values its dialog opens with (192.168.2.1 and port
    // 23 proposed when the TCP address or port is missing); OK gives the new
    // values, Cancel none.
    CommSettings commSettings() override;
    void commSettingsClosed(const std::optional<CommSettings>& accepted) override;
    // "Wejścia": OK gives the new presentation table.
    void lineSetupClosed(const ChannelTable& channels);

    void saveConfigFile() override;
    bool loadConfigFile(const std::string& path) override;
    void chooseCsvFile() override;
    void refreshModuleView();

    bool monitoring() const { return monitoring_; }
    int recordCountdown() const { return recordCountdown_.value(); }
    int savedCount() const { return savedCount_; }
    int consecutiveFailures() const { return consecutiveFailures_; }
    WebMonitorSettings& settings() { return settings_; }
    const ModuleSlot& module() const { return module_; }
    // The module's readings since START, for its trend chart.
    const TrendBuffer& trend() const { return trend_; }
    const UploadSettings& uploadSettings() const { return uploadSettings_; }
    const CsvRecorder& recorder() const { return recorder_; }

  private:
    void applyLinkSettings();
    bool checkModule();
    void failStart(const std::string& text);
    void reconnectIfDue();
    void writePendingRequests();
    int readOutputs(std::array<std::int32_t, HoldingRegisterCount>& registers);
    void countConnectionFailure();
    void backOff();
    void takeReading(const std::array<std::int32_t, EntryCount>& values, int outputsCode,
                     const std::array<std::int32_t, HoldingRegisterCount>& registers);
    void record(WallTime instant, const std::string& row);
    void showReadback();
    void showUploadState();
    void showVariables();

    ModuleLink& link_;
    WebMonitorView& view_;
    Prompter& prompter_;
    Clock& clock_;
    WebMonitorSettings settings_;
    ModuleSlot module_;
    OutputState outputs_;
    CsvRecorder recorder_;
    TrendBuffer trend_;
    UploadSettings uploadSettings_;
    HttpUpload upload_;

    bool monitoring_ = false;
    bool ended_ = false;  // shut down: nothing starts or is written any more
    RecordCountdown recordCountdown_;
    SilentModuleSchedule readBack_;
    int consecutiveFailures_ = 0;
    bool outputsDirty_ = false;
    int counterClearMask_ = 0;
    int savedCount_ = 0;
};

}  // namespace dkq
