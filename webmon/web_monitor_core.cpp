#include "webmon/web_monitor_core.h"

#include <algorithm>
#include <filesystem>
#include <span>

#include "common/text_file.h"
#include "forms/csv_file_chooser.h"
#include "link/result_codes.h"
#include "settings/com_ports.h"

namespace dkq {
namespace {

constexpr int StartConnectTimeoutMs = 6000;
constexpr int ReconnectTimeoutMs = 800;
constexpr int ReceiveTimeoutMs = 800;
constexpr int DiagnosticsAttempts = 4;
constexpr int DiagnosticsPauseMs = 500;
constexpr int MinBackOffSeconds = 30;
constexpr int BackOffFailures = 5;
constexpr const char* ConfigFileFilter = "Pliki konfiguracji (*.CFG)|*.cfg||";

// Results that mean the connection, not the module's answer, failed.
bool isConnectionFailure(int code) {
    return code == tx::NoAnswer || code == tx::PeerClosed || code == tx::ReceiveError ||
           code == tx::SendFailed;
}

std::string diagnosticsFailureText(int code, bool tcp) {
    if (!tcp) return "Nie odebrano odpowiedzi!\n(Próba odczytu diagnostyki)";
    switch (code) {
        case tx::NoAnswer:
            return "Brak odpowiedzi z modułu!\n(Przekroczono czas oczekiwania)";
        case tx::BadLength:
            return "Nieprawidłowa długość odpowiedzi z modułu.";
        case tx::PeerClosed:
            return "Brak połączenia TCP/IP.";
        case tx::SendFailed:
            return "Przerwane połączenie TCP/IP!";
        case tx::NoFrameStart:
            return "Nieprawidłowy format odpowiedzi Modbus.";
        case tx::LrcError:
            return "Błąd sumy kontrolnej w odpowiedzi Modbus.";
        case tx::NotOpen:
            return "Zerwane połączenie TCP/IP!";
        default:
            return "Błąd (" + std::to_string(code) + ") połączenia TCP/IP z modułem!";
    }
}

// The first command word names a configuration file unless it is an option
// ("/start", "/log"); an absolute path that names a file is a file.
bool namesConfigFile(const std::string& word) {
    if (word.empty()) return false;
    std::error_code error;
    return word[0] != '/' || std::filesystem::is_regular_file(word, error);
}

}  // namespace

std::string webCsvHeader(const ChannelTable& channels) {
    std::string names = "Lp;Czas   ;";
    std::string units = ";;";
    for (int entry = 0; entry < EntryCount; ++entry) {
        names += channels[entry].name + ";";
        units += unitCell(entry, channels[entry].kind);
    }
    for (int output = 1; output <= OutputCount; ++output) {
        names.append("O").append(std::to_string(output)).append(" ;");
        units += "stan;";
    }
    return names + "\n" + units + "\n";
}

WebMonitorCore::WebMonitorCore(ModuleLink& link, WebMonitorView& view, Prompter& prompter,
                               Clock& clock, const UploadLimits& uploadLimits)
    : link_(link),
      view_(view),
      prompter_(prompter),
      clock_(clock),
      recorder_(DefaultRecordsPerPart),
      upload_(uploadSettings_, uploadLimits) {
    link_.ComDevice = comPortDevice;
    module_.busAddress = settings_.busAddress;
    module_.channels = defaultWebChannels();
    for (int entry = 0; entry < EntryCount; ++entry)
        module_.raw[entry] = module_.channels[entry].min;
}

void WebMonitorCore::startUp(const std::vector<std::string>& commandWords) {
    link_.InitNetwork(true);
    loadWebMonitorSettings(settings_);
    loadUploadSettings(uploadSettings_);
    view_.showFields(settings_);
    const bool configFile = !commandWords.empty() && namesConfigFile(commandWords[0]);
    if (configFile) loadConfigFile(commandWords[0]);
    refreshModuleView();
    showVariables();
    for (std::size_t i = configFile ? 1 : 0; i < commandWords.size(); ++i) {
        const std::string& word = commandWords[i];
        if (word.find("/log") != std::string::npos) link_.LogEnabled = 1;
        if (word.find("/start") != std::string::npos) {
            StartMonitoring();
            break;
        }
    }
}

std::size_t WebMonitorCore::shutDown() {
    ended_ = true;
    view_.readFields(settings_);
    if (monitoring_)
        StopMonitoring();
    else
        recorder_.retryWaiting();
    link_.InitNetwork(false);
    saveWebMonitorSettings(settings_);
    return recorder_.lostRecords();
}

// --- START -------------------------------------------------------------------

void WebMonitorCore::StartMonitoring() {
    if (monitoring_ || ended_) return;
    view_.readFields(settings_);
    refreshModuleView();
    link_.ConnectTimeoutMs = StartConnectTimeoutMs;
    link_.ReceiveTimeoutMs = ReceiveTimeoutMs;
    applyLinkSettings();
    if (settings_.useTcp && (settings_.ipAddress.empty() || settings_.tcpPort == 0)) {
        prompter_.message("Brak ustawień komunikacyjnych TCP/IP!", MessageIcon::Error);
        showVariables();
        return;
    }
    link_.CommLog("");
    link_.CommLog("*** START ***");
    module_.errorCount = 0;
    consecutiveFailures_ = 0;
    const int code = link_.open_com(settings_.comPort, settings_.speed);
    if (code != open::Ok) {
        prompter_.message(openFailureText(code, settings_), MessageIcon::Exclamation);
        return;
    }
    if (ended_) {  // closed while a port setup message waited
        link_.close_com();
        return;
    }
    module_.firmwareText.clear();
    trend_.clear();
    readBack_.reset();
    recordCountdown_.restart();
    savedCount_ = 0;
    refreshModuleView();
    if (!checkModule()) return;
    if (!recorder_.startRecording(settings_.fileName, false, webCsvHeader(module_.channels))) {
        failStart("Błąd otwarcia pliku do zapisu.");
        return;
    }
    link_.ConnectTimeoutMs = ReconnectTimeoutMs;
    upload_.open();
    showUploadState();
    monitoring_ = true;
    view_.showMonitoring(true);
    showVariables();
}

void WebMonitorCore::applyLinkSettings() {
    link_.UseTcp = settings_.useTcp;
    link_.IpAddress = settings_.ipAddress;
    link_.TcpPort = settings_.tcpPort;
    module_.busAddress = settings_.busAddress;
}

// Diagnostics block 1 (four attempts, a pause after each failure), then the
// mode flags. False, with the message shown and the link closed, on failure.
bool WebMonitorCore::checkModule() {
    Diagn1Block diagnostics{};
    int code = tx::Ok;
    for (int attempt = 0; attempt < DiagnosticsAttempts; ++attempt) {
        code = link_.ReadDiagn1(settings_.busAddress, 0, diagnostics);
        if (code == tx::Ok) break;
        clock_.sleepMs(DiagnosticsPauseMs);
    }
    if (code != tx::Ok) {
        failStart(diagnosticsFailureText(code, settings_.useTcp));
        return false;
    }
    module_.firmwareText = firmwareText(diagnostics);
    refreshModuleView();
    std::array<std::int32_t, 1> flags{};
    if (link_.ReadSignedRegisters(settings_.busAddress, ModeFlagsRegister, 1, flags) != tx::Ok) {
        failStart("Moduł nie odpowiada!\n(Próba odczytu CFG)");
        return false;
    }
    module_.modeFlags.bits = flags[0];
    refreshModuleView();
    return true;
}

void WebMonitorCore::failStart(const std::string& text) {
    prompter_.message(text, MessageIcon::Exclamation);
    link_.close_com();
    showVariables();
}

// --- the tick ----------------------------------------------------------------

void WebMonitorCore::AcquisitionTick() {
    if (!monitoring_) return;
    view_.readFields(settings_);
    reconnectIfDue();
    if (ended_) return;
    view_.showCountdown(recordCountdown_.value());
    showUploadState();  // before this tick's record, which is on its way at once
    if (link_.IsOpen()) {
        writePendingRequests();
        std::array<std::int32_t, EntryCount> values{};
        const int code = link_.ReadInputRegisters(settings_.busAddress, 0, EntryCount, values);
        std::array<std::int32_t, HoldingRegisterCount> registers = outputs_.registers;
        const int outputsCode = code == tx::Ok ? readOutputs(registers) : code;
        if (code == tx::Ok) {
            takeReading(values, outputsCode, registers);
        } else {
            trend_.addFailedRead(trendTime(clock_.localNow()));
            if (isConnectionFailure(code)) {
                countConnectionFailure();
                backOff();
            } else {
                ++module_.errorCount;
            }
        }
        if (outputsCode == tx::Ok) {
            outputs_.registers = registers;
            showReadback();
        }
        if (settings_.disconnectAfterReading != 0 && link_.IsOpen()) link_.close_com();
    }
    recordCountdown_.countTick();
    view_.showValues(module_);
    showVariables();
}

// The link is reopened only when a record is due or a command waits; from
// the fifth failure in a row on, attempts come once a period, at least 30 s
// apart.
void WebMonitorCore::reconnectIfDue() {
    if (link_.IsOpen()) return;
    if (!recordCountdown_.due() && !outputsDirty_ && counterClearMask_ == 0) return;
    applyLinkSettings();
    if (link_.open_com(settings_.comPort, settings_.speed) == open::Ok) return;
    if (consecutiveFailures_ == 0) ++module_.errorCount;
    ++consecutiveFailures_;
    if (recordCountdown_.due() && consecutiveFailures_ >= BackOffFailures) {
        backOff();
        ++module_.errorCount;
    }
    view_.showConnectionLost(true);
}

void WebMonitorCore::countConnectionFailure() {
    if (consecutiveFailures_ == 0) ++module_.errorCount;
    ++consecutiveFailures_;
    view_.showConnectionLost(true);
}

// A dead link is spared a period, at least 30 s; the first tick that reads
// the module again ends it.
void WebMonitorCore::backOff() {
    recordCountdown_.backOff(std::max(settings_.recordPeriod(), MinBackOffSeconds));
}

// The output word first, then the counter clear, each once.
void WebMonitorCore::writePendingRequests() {
    if (outputsDirty_) {
        outputsDirty_ = false;
        if (link_.WriteRegister(settings_.busAddress, OutputWordRegister, outputs_.outputWord()) !=
            tx::Ok)
            ++module_.errorCount;
    }
    if (counterClearMask_ != 0) {
        if (link_.ClearCounters(settings_.busAddress, counterClearMask_) != tx::Ok)
            ++module_.errorCount;
        counterClearMask_ = 0;
    }
}

// The whole outputs block with the output measurements on, else the output
// word alone. After three failures in a row they are read only at every
// tenth tick, so that the tick keeps its second; the row's output cells
// meanwhile hold "?".
int WebMonitorCore::readOutputs(std::array<std::int32_t, HoldingRegisterCount>& registers) {
    if (!readBack_.readNow()) return tx::NoAnswer;
    const int code =
        settings_.testOuts
            ? link_.ReadHoldingRegisters(settings_.busAddress, 0, HoldingRegisterCount, registers)
            : link_.ReadHoldingRegisters(settings_.busAddress, OutputWordRegister, 1,
                                         std::span(registers).subspan(OutputWordRegister, 1));
    readBack_.readAnswered(code == tx::Ok);
    return code;
}

// Shows the reading, builds its row and, when a record is due, records and
// uploads it.
void WebMonitorCore::takeReading(const std::array<std::int32_t, EntryCount>& values,
                                 int outputsCode,
                                 const std::array<std::int32_t, HoldingRegisterCount>& registers) {
    consecutiveFailures_ = 0;
    recordCountdown_.moduleAnswered();
    view_.showConnectionLost(false);
    const WallTime instant = clock_.wallNow();
    const std::tm now = localTimeOf(instant);
    std::string row;
    for (int entry = 0; entry < EntryCount; ++entry) {
        const int raw = values[entry];
        const EntryReading reading = entry < LineCount
                                         ? lineReading(raw, module_.channels[entry].kind)
                                         : counterReading(raw);
        module_.raw[entry] = raw;
        module_.valueTexts[entry] = reading.text;
        row += reading.csvCell;
    }
    trend_.add(trendTime(now), values);
    std::replace(row.begin(), row.end(), '.', ',');
    const int outputWord = registers[OutputWordRegister];
    for (int output = 0; output < OutputCount; ++output) {
        if (outputsCode != tx::Ok)
            row += "?;";
        else
            row += ((outputWord >> output) & 1) != 0 ? "1;" : "0;";
    }
    view_.showValues(module_);
    if (recordCountdown_.due()) record(instant, row);
}

// Writes the row (kept for later when the file cannot take it) and uploads
// the reading all the same.
void WebMonitorCore::record(WallTime instant, const std::string& row) {
    recordCountdown_.recorded(settings_.recordPeriod());
    ++savedCount_;
    recorder_.record(savedCount_, localTimeOf(instant), row, webCsvHeader(module_.channels));
    UploadReadingValues reading;
    reading.time = instant;
    std::copy(module_.raw.begin(), module_.raw.end(), reading.raw.begin());
    for (int line = 0; line < LineCount; ++line) reading.kinds[line] = module_.channels[line].kind;
    view_.showUploading(upload_.UploadReading(reading) == 1);
}

void WebMonitorCore::showReadback() {
    const bool measured = settings_.testOuts;
    OutputReadback readback{outputs_, measured, {}, {}};
    if (measured) {
        readback.supplyAlarms = supplyAlarms(outputs_);
        readback.mismatches = outputMismatches(outputs_, module_.modeFlags);
    }
    view_.showReadback(readback);
}

// --- STOP and the window's requests --------------------------------------------

void WebMonitorCore::StopMonitoring() {
    recorder_.retryWaiting();
    monitoring_ = false;
    view_.showMonitoring(false);
    view_.showUploading(false);
    upload_.close();
    showUploadState();
    view_.showConnectionLost(false);
    if (link_.IsOpen()) link_.close_com();
    link_.CommLog("*** STOP ***");
}

void WebMonitorCore::showUploadState() {
    if (uploadSettings_.buffered()) view_.showUploadState(upload_.state());
}

void WebMonitorCore::SetOutput(int output, bool on) {
    if (output < 0 || output >= OutputCount) return;
    view_.readFields(settings_);
    outputs_.setOutput(output, on);
    outputsDirty_ = true;
}

void WebMonitorCore::RequestCounterClear(int counter) {
    if (counter < 0 || counter >= CounterCount) return;
    counterClearMask_ |= 1 << counter;
}

const CommDialogShape& webCommShape() {
    static const CommDialogShape shape{"Ustawienia komunikacji z modułem DKQ-1",
                                       "Prędkość",
                                       "Numer portu TCP",
                                       MaxIpAddressTextChars,
                                       {{"Adres Modbus modułu DKQ-1", "busAddressField", 1, ""}},
                                       true,
                                       true};
    return shape;
}

CommSettings WebMonitorCore::commSettings() {
    view_.readFields(settings_);
    CommSettings comm{settings_.comPort,  settings_.speed,
                      settings_.useTcp,   settings_.ipAddress,
                      settings_.tcpPort,  {settings_.busAddress},
                      settings_.testOuts, settings_.disconnectAfterReading,
                      settings_.echo};
    proposeTcpAddress(comm);
    return comm;
}

void WebMonitorCore::commSettingsClosed(const std::optional<CommSettings>& accepted) {
    view_.readFields(settings_);
    if (accepted) {
        settings_.comPort = accepted->comPort;
        settings_.speed = accepted->speed;
        settings_.useTcp = accepted->useTcp;
        settings_.ipAddress = accepted->ipAddress;
        settings_.tcpPort = accepted->tcpPort;
        if (!accepted->busAddresses.empty()) settings_.busAddress = accepted->busAddresses[0];
        settings_.testOuts = accepted->testOuts;
        settings_.disconnectAfterReading = accepted->disconnectAfterReading;
        settings_.echo = accepted->echo;
    }
    showVariables();
}

void WebMonitorCore::lineSetupClosed(const ChannelTable& channels) {
    module_.channels = channels;
    refreshModuleView();
}

void WebMonitorCore::refreshModuleView() {
    view_.showModule(module_);
}

void WebMonitorCore::showVariables() {
    view_.showFields(settings_);
    view_.showCountdown(recordCountdown_.value());
    view_.showSavedCount(savedCount_);
}

// --- files ---------------------------------------------------------------------

void WebMonitorCore::saveConfigFile() {
    const auto path = prompter_.chooseSaveFileInCapitals(ConfigFileFilter, "cfg");
    if (!path) return;
    view_.readFields(settings_);
    if (saveWebConfigFile(*path, settings_, module_.channels) != MonitorConfigResult::Ok) {
        prompter_.message("Błąd zapisu konfiguracji !", MessageIcon::Exclamation);
        return;
    }
    view_.showFields(settings_);
}

bool WebMonitorCore::loadConfigFile(const std::string& path) {
    view_.readFields(settings_);
    const MonitorConfigResult result = loadWebConfigFile(path, settings_, module_.channels);
    if (result == MonitorConfigResult::OpenFailed)
        prompter_.message("Błąd odczytu pliku konfiguracji !", MessageIcon::Exclamation);
    if (result == MonitorConfigResult::WrongFormat)
        prompter_.message("Nieprawidłowy format pliku !", MessageIcon::Exclamation);
    view_.showFields(settings_);
    refreshModuleView();
    view_.showValues(module_);
    return result == MonitorConfigResult::Ok;
}

void WebMonitorCore::chooseCsvFile() {
    view_.readFields(settings_);
    if (const auto name = chooseCsvFileName(prompter_, settings_.fileName)) {
        settings_.fileName = *name;
        view_.showFields(settings_);
    }
}

}  // namespace dkq
