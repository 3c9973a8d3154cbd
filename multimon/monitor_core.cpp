#include "multimon/monitor_core.h"

#include <algorithm>
#include <span>

#include "common/text_file.h"
#include "forms/csv_file_chooser.h"
#include "link/result_codes.h"
#include "multimon/monitor_messages.h"
#include "settings/com_ports.h"

namespace dkq {
namespace {

constexpr int StartConnectTimeoutMs = 6000;
constexpr int ReconnectTimeoutMs = 800;
constexpr int ReceiveTimeoutMs = 800;
constexpr int DiagnosticsAttempts = 3;
constexpr int DiagnosticsPauseMs = 500;
constexpr int MinBackOffSeconds = 20;
constexpr int BackOffFailures = 5;

// Results that mean the connection, not the module's answer, failed.
bool isConnectionFailure(int code) {
    return code == tx::NoAnswer || code == tx::PeerClosed || code == tx::ReceiveError ||
           code == tx::SendFailed;
}

}  // namespace

MonitorCore::MonitorCore(ModuleLink& link, MonitorView& view, Prompter& prompter, Clock& clock,
                         int recordsPerPart)
    : link_(link), view_(view), prompter_(prompter), clock_(clock), recorder_(recordsPerPart) {
    link_.ComDevice = comPortDevice;
}

void MonitorCore::startUp(const std::vector<std::string>& commandWords) {
    link_.InitNetwork(true);
    loadMonitorSettings(settings_, modules_);
    view_.showFields(settings_);
    if (!commandWords.empty() && !commandWords[0].empty()) loadConfigFile(commandWords[0]);
    updateModuleControls();
    refreshModuleView();
    showVariables();
    if (commandWords.size() > 1 && commandWords[1].starts_with("/start")) StartMonitoring();
}

std::size_t MonitorCore::shutDown() {
    ended_ = true;
    view_.readFields(settings_);
    link_.InitNetwork(false);
    saveMonitorSettings(settings_, modules_);
    recorder_.retryWaiting();
    return recorder_.lostRecords();
}

// --- START -------------------------------------------------------------------

void MonitorCore::StartMonitoring() {
    if (monitoring_ || ended_) return;
    view_.readFields(settings_);
    refreshModuleView();
    tcpLatch_ = settings_.useTcp;
    applyLinkSettings();
    link_.ConnectTimeoutMs = StartConnectTimeoutMs;
    link_.ReceiveTimeoutMs = ReceiveTimeoutMs;
    if (tcpLatch_ != 0 && (settings_.ipAddress.empty() || settings_.tcpPort == 0)) {
        prompter_.message("Brak ustawień komunikacyjnych TCP/IP!", MessageIcon::Error);
        showVariables();
        return;
    }
    if (!openLinkForStart()) return;
    if (ended_) {  // closed while a port setup message waited
        link_.close_com();
        return;
    }
    resetReadings();
    for (int module = 0; module < ModuleCount; ++module) {
        if (modules_[module].busAddress != 0 && !checkModule(module)) return;
    }
    const bool recording =
        recorder_.startRecording(settings_.fileName, settings_.splitFile, csvHeader(modules_));
    view_.showPartPath(recorder_.splitting(), recorder_.currentPath());
    if (!recording) {
        prompter_.message("Błąd otwarcia pliku do zapisu!", MessageIcon::Error);
        link_.close_com();
        showFileProblem(true);
        return;
    }
    showFileProblem();
    link_.ConnectTimeoutMs = ReconnectTimeoutMs;
    monitoring_ = true;
    view_.showMonitoring(true);
    refreshModuleView();
    showVariables();
}

void MonitorCore::applyLinkSettings() {
    link_.UseTcp = settings_.useTcp;
    link_.IpAddress = settings_.ipAddress;
    link_.TcpPort = settings_.tcpPort;
}

bool MonitorCore::openLinkForStart() {
    consecutiveFailures_ = 0;
    const int code = link_.open_com(settings_.comPort, settings_.speed);
    if (code == open::Ok) return true;
    prompter_.message(openFailureText(code, settings_), MessageIcon::Error);
    return false;
}

void MonitorCore::resetReadings() {
    recordCountdown_.restart();
    savedCount_ = 0;
    for (TrendBuffer& trend : trends_) trend.clear();
    for (SilentModuleSchedule& reads : reads_) reads.reset();
    readBack_.reset();
    for (ModuleSlot& slot : modules_) {
        slot.errorCount = 0;
        slot.firmwareText.clear();
        for (int entry = 0; entry < EntryCount; ++entry) {
            slot.valueTexts[entry].clear();
            slot.raw[entry] = slot.channels[entry].min;
        }
    }
    refreshModuleView();
    refreshValues();
}

// Diagnostics block 1 (three attempts, a pause after each failure), then the
// mode flags. False, with the message shown and the link closed, on failure.
bool MonitorCore::checkModule(int module) {
    ModuleSlot& slot = modules_[module];
    Diagn1Block diagnostics{};
    int code = tx::Ok;
    for (int attempt = 0; attempt < DiagnosticsAttempts; ++attempt) {
        code = link_.ReadDiagn1(slot.busAddress, 0, diagnostics);
        if (code == tx::Ok) break;
        clock_.sleepMs(DiagnosticsPauseMs);
    }
    if (code != tx::Ok) {
        ++slot.errorCount;
        failStart(diagnosticsFailureText(code, tcpLatch_ != 0, module));
        return false;
    }
    slot.firmwareText = firmwareText(diagnostics);
    std::array<std::int32_t, 1> flags{};
    if (link_.ReadSignedRegisters(slot.busAddress, ModeFlagsRegister, 1, flags) != tx::Ok) {
        ++slot.errorCount;
        failStart("Błąd komunikacji z modułem " + std::string(1, moduleLetter(module)) + "!");
        return false;
    }
    slot.modeFlags.bits = flags[0];
    return true;
}

void MonitorCore::failStart(const std::string& text) {
    refreshValues();
    showVariables();
    prompter_.message(text, MessageIcon::Error);
    link_.close_com();
}

// --- the tick ----------------------------------------------------------------

void MonitorCore::AcquisitionTick() {
    if (!monitoring_ || ended_) return;
    view_.readFields(settings_);
    recordCountdown_.countTick();
    reconnectIfDue();
    if (ended_) return;
    view_.showCountdown(recordCountdown_.value());
    if (link_.IsOpen()) {
        writePendingRequests();
        const std::tm now = clock_.localNow();
        std::string row = readModules(now);
        refreshValues();
        std::replace(row.begin(), row.end(), '.', ',');
        if (recordCountdown_.due()) recordRow(now, row);
        readBackSelected();
        if (tcpLatch_ != 0) link_.close_com();
    }
    showVariables();
}

// The link is reopened only when a record is due or a request waits; failed
// attempts space out the next ones (at least 20 s after five in a row).
void MonitorCore::reconnectIfDue() {
    if (link_.IsOpen()) return;
    if (!recordCountdown_.due() && !outputsDirty_ && counterClearMask_ == 0) return;
    if (link_.NetworkStarted == 0) link_.InitNetwork(true);
    applyLinkSettings();
    if (link_.open_com(settings_.comPort, settings_.speed) == open::Ok) return;
    if (consecutiveFailures_ == 0) ++modules_[0].errorCount;
    ++consecutiveFailures_;
    if (recordCountdown_.due()) backOff(consecutiveFailures_ >= BackOffFailures);
    view_.showConnectionLost(true);
}

// Output word first, then the counter clear, each to the selected module once.
void MonitorCore::writePendingRequests() {
    ModuleSlot& slot = selected();
    if (outputsDirty_) {
        outputsDirty_ = false;
        if (link_.WriteRegister(slot.busAddress, OutputWordRegister, outputs_.outputWord()) !=
            tx::Ok)
            ++slot.errorCount;
    }
    if (counterClearMask_ != 0) {
        if (link_.ClearCounters(slot.busAddress, counterClearMask_) != tx::Ok) ++slot.errorCount;
        counterClearMask_ = 0;
    }
}

// Reads every switched-on module into its slot, its trend and the record row.
// A silent module is passed over while another one answers: its cells stay
// blank without costing the others their tick.
std::string MonitorCore::readModules(const std::tm& time) {
    std::string row;
    TickFailures failures;
    for (int module = 0; module < ModuleCount; ++module) {
        ModuleSlot& slot = modules_[module];
        if (slot.busAddress == 0) continue;
        if (anotherModuleAnswers(module) && !reads_[module].readNow()) {
            markUnread(slot, row);
            continue;
        }
        std::array<std::int32_t, EntryCount> values{};
        const int code = link_.ReadInputRegisters(slot.busAddress, 0, EntryCount, values);
        if (reads_[module].readAnswered(code == tx::Ok) && module == selectedModule_)
            readBack_.reset();
        if (code == tx::Ok) {
            failures.anyRead = true;
            consecutiveFailures_ = 0;
            view_.showConnectionLost(false);
            takeReadings(slot, values, row);
            trends_[module].add(trendTime(time), values);
        } else {
            countFailedRead(slot, code, failures);
            markUnread(slot, row);
            trends_[module].addFailedRead(trendTime(time));
        }
    }
    if (failures.anyRead)
        recordCountdown_.moduleAnswered();
    else if (failures.connectionFailed)
        backOff(failures.longBackOff);
    return row;
}

// While every switched-on module is silent each is read at every tick, as
// the connection's back-off asks.
bool MonitorCore::anotherModuleAnswers(int module) const {
    for (int other = 0; other < ModuleCount; ++other)
        if (other != module && modules_[other].busAddress != 0 && !reads_[other].silent())
            return true;
    return false;
}

// Two errors for a failed read, except for a connection-type failure that
// is not the first in a row.
void MonitorCore::countFailedRead(ModuleSlot& slot, int code, TickFailures& failures) {
    ++slot.errorCount;
    if (!isConnectionFailure(code)) {
        ++slot.errorCount;
        return;
    }
    if (consecutiveFailures_ == 0) ++slot.errorCount;
    ++consecutiveFailures_;
    view_.showConnectionLost(true);
    failures.connectionFailed = true;
    failures.longBackOff = code == tx::PeerClosed || consecutiveFailures_ == BackOffFailures;
}

// A connection-type failure postpones the next record by a full period (at
// least 20 s when the connection was found closed or failed five times in a
// row), but only when no module answered at all: while the link works, the
// modules that answer go on being recorded and a silent one fills its cells
// with blanks.
void MonitorCore::backOff(bool atLeastMinimum) {
    const int period = settings_.recordPeriod();
    recordCountdown_.backOff(atLeastMinimum ? std::max(period, MinBackOffSeconds) : period);
}

void MonitorCore::takeReadings(ModuleSlot& slot, const std::array<std::int32_t, EntryCount>& values,
                               std::string& row) {
    for (int entry = 0; entry < EntryCount; ++entry) {
        const int raw = values[entry];
        const EntryReading reading =
            entry < LineCount ? lineReading(raw, slot.channels[entry].kind) : counterReading(raw);
        slot.raw[entry] = raw;
        slot.valueTexts[entry] = reading.text;
        row += reading.csvCell;
    }
}

void MonitorCore::markUnread(ModuleSlot& slot, std::string& row) {
    for (int entry = 0; entry < EntryCount; ++entry) {
        slot.valueTexts[entry] = "???";
        slot.raw[entry] = slot.channels[entry].min;
        row += "   ;";
    }
}

void MonitorCore::recordRow(const std::tm& time, const std::string& row) {
    recordCountdown_.recorded(settings_.recordPeriod());
    ++savedCount_;
    recorder_.record(savedCount_, time, row, csvHeader(modules_));
    view_.showPartPath(recorder_.splitting(), recorder_.currentPath());
    showFileProblem();
}

// Output word (and, with the output measurements on, voltages, supplies and
// PWM values) of the selected module, with their checks. Not while the
// module is silent, and as seldom as a silent module's reads when the
// read-back alone keeps failing.
void MonitorCore::readBackSelected() {
    ModuleSlot& slot = selected();
    if (reads_[selectedModule_].silent() || !readBack_.readNow()) return;
    const bool measured = settings_.testOuts;
    std::array<std::int32_t, HoldingRegisterCount> registers = outputs_.registers;
    const int code =
        measured ? link_.ReadHoldingRegisters(slot.busAddress, 0, HoldingRegisterCount, registers)
                 : link_.ReadHoldingRegisters(slot.busAddress, OutputWordRegister, 1,
                                              std::span(registers).subspan(OutputWordRegister, 1));
    readBack_.readAnswered(code == tx::Ok);
    if (code != tx::Ok) {
        ++slot.errorCount;
        return;
    }
    outputs_.registers = registers;
    OutputReadback readback{outputs_, measured, {}, {}};
    if (measured) {
        readback.supplyAlarms = supplyAlarms(outputs_);
        readback.mismatches = outputMismatches(outputs_, slot.modeFlags);
    }
    view_.showReadback(readback);
}

// --- STOP and the window's requests --------------------------------------------

void MonitorCore::StopMonitoring() {
    monitoring_ = false;
    view_.showConnectionLost(false);
    view_.showMonitoring(false);
    if (link_.IsOpen()) link_.close_com();
    recorder_.retryWaiting();
    showFileProblem();
}

void MonitorCore::SetOutput(int output, bool on) {
    if (output < 0 || output >= OutputCount) return;
    view_.readFields(settings_);
    outputs_.setOutput(output, on);
    outputsDirty_ = true;
}

void MonitorCore::RequestCounterClear(int counter) {
    if (counter < 0 || counter >= CounterCount) return;
    counterClearMask_ |= 1 << counter;
}

void MonitorCore::SelectModule(int module) {
    if (module < 0 || module >= ModuleCount) return;
    selectedModule_ = module;
    readBack_.reset();
    view_.readFields(settings_);
    refreshValues();
    refreshModuleView();
}

void MonitorCore::updateModuleControls() {
    std::array<bool, ModuleCount> enabled{};
    for (int module = 0; module < ModuleCount; ++module)
        enabled[module] = modules_[module].busAddress != 0;
    if (!enabled[selectedModule_]) {
        selectedModule_ = 0;
        readBack_.reset();
    }
    view_.showModuleChoice(enabled, selectedModule_);
}

void MonitorCore::refreshModuleView() {
    view_.showModule(selectedModule_, selected());
}

void MonitorCore::refreshValues() {
    std::array<int, ModuleCount> errorCounts{};
    for (int module = 0; module < ModuleCount; ++module)
        errorCounts[module] = modules_[module].errorCount;
    view_.showValues(selected(), errorCounts);
}

void MonitorCore::showFileProblem(bool startFailed) {
    view_.showFileProblem({startFailed || recorder_.waitingRecords() > 0,
                           recorder_.waitingRecords(), recorder_.droppedRecords()});
}

void MonitorCore::showVariables() {
    view_.showFields(settings_);
    view_.showCountdown(recordCountdown_.value());
    view_.showSavedCount(savedCount_);
}

CommSettings MonitorCore::commSettings() {
    return commDialogValues(settings_, modules_);
}

void MonitorCore::commSettingsClosed(const std::optional<CommSettings>& accepted) {
    view_.readFields(settings_);
    if (accepted) applyCommSettings(*accepted, settings_, modules_);
    view_.showFields(settings_);
    updateModuleControls();
    refreshModuleView();
}

// --- files ---------------------------------------------------------------------

void MonitorCore::saveConfigFile() {
    const auto path =
        prompter_.chooseSaveFileInCapitals("Pliki konfiguracji (*.CFG)|*.cfg||", "cfg");
    if (!path) return;
    view_.readFields(settings_);
    if (saveMonitorConfigFile(*path, settings_, modules_, tcpLatch_) != MonitorConfigResult::Ok) {
        prompter_.message("Błąd zapisu konfiguracji !", MessageIcon::None);
        return;
    }
    view_.showFields(settings_);
}

bool MonitorCore::loadConfigFile(const std::string& path) {
    view_.readFields(settings_);
    const MonitorConfigResult result = loadMonitorConfigFile(path, settings_, modules_);
    if (result == MonitorConfigResult::OpenFailed) {
        prompter_.message("Błąd odczytu konfiguracji !", MessageIcon::None);
        return false;
    }
    if (result == MonitorConfigResult::WrongFormat)
        prompter_.message("Nieprawidłowy format pliku !", MessageIcon::None);
    view_.showFields(settings_);
    updateModuleControls();
    refreshModuleView();
    return result == MonitorConfigResult::Ok;
}

void MonitorCore::chooseCsvFile() {
    view_.readFields(settings_);
    if (const auto name = chooseCsvFileName(prompter_, settings_.fileName)) {
        settings_.fileName = *name;
        view_.showFields(settings_);
    }
}

}  // namespace dkq
