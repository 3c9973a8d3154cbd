#include "dkq-logger/logger_core.h"

#include "settings/com_ports.h"

namespace dkq {
namespace {

using namespace dkq::logger;

constexpr int ConnectTimeoutMs = 6000;
constexpr int ReceiveTimeoutMs = 800;

}  // namespace

StatusTexts statusTexts(const std::optional<StatusAnswer>& status, const LoggerFields& fields) {
    StatusTexts texts;
    if (!status) return texts;
    const StatusAnswer& s = *status;
    const LineKind line = fields.link.useTcp ? LineKind::Tcp : LineKind::Serial;
    texts.version = versionText(s);
    texts.memorySize = memorySizeText(s);
    texts.recordCount = std::to_string(s.recordCount);
    texts.maxRecords = std::to_string(maxRecordCount(s));
    texts.recordLength = std::to_string(s.recordLength);
    texts.occupancy = occupancyText(s);
    texts.period = std::to_string(s.periodSeconds);
    texts.capacity = std::to_string(capacityHours(s));
    texts.clock = moduleClockText(s);
    texts.downloadTime = downloadTimeText(downloadSeconds(s, line, fields.link.comPort));
    texts.loggingOn = s.loggingOn;
    texts.cyclicBuffer = s.cyclicBuffer;
    return texts;
}

LoggerCore::LoggerCore(ModuleLink& link, Prompter& prompter, Clock& clock)
    : link_(link), session_(link, prompter, clock), download_(session_, lineTable_) {
    link_.ComDevice = comPortDevice;
}

void LoggerCore::startUp() {
    link_.InitNetwork(true);
    loadLoggerSettings(fields_);
    lineTable_ = loadLineTable(LineTableFile);
    if (lineTable_.loaded) fields_.readAsTemperatures = false;
}

void LoggerCore::transportChosen() {
    connectionFields_ = ConnectionFields::ByTransport;
}

void LoggerCore::connect(const LoggerFields& fields) {
    fields_ = fields;
    link_.UseTcp = fields.link.useTcp ? 1 : 0;
    link_.IpAddress = fields.link.ipAddress;
    link_.TcpPort = fields.link.tcpPort;
    link_.ConnectTimeoutMs = ConnectTimeoutMs;
    link_.ReceiveTimeoutMs = ReceiveTimeoutMs;
    const ConnectResult result = session_.ConnectLogger(fields.link.comPort, fields.link.speed);
    if (result.openCode != open::Ok)
        connectionFields_ = ConnectionFields::All;
    else if (result.statusCode == status::Ok)
        connectionFields_ = ConnectionFields::None;
}

void LoggerCore::readStatus() {
    session_.RefreshStatus();
}

bool LoggerCore::startDownload(const LoggerFields& fields) {
    fields_ = fields;
    DownloadOptions options;
    options.readAsTemperatures = fields.readAsTemperatures;
    options.splitFiles = fields.splitFiles;
    options.writeInvalid = fields.writeInvalid;
    const bool started = download_.start(options) == DownloadStart::Started;
    downloadStarted_ = std::chrono::steady_clock::now();  // after the file dialog
    return started;
}

StatusTexts LoggerCore::statusTexts() const {
    StatusTexts texts = dkq::statusTexts(session_.status(), fields_);
    if (!download_.running()) return texts;
    const std::chrono::duration<double> elapsed =
        std::chrono::steady_clock::now() - downloadStarted_;
    if (const auto left =
            remainingTimeText(download_.recordsDone(), download_.recordCount(), elapsed.count()))
        texts.downloadTime = *left;
    return texts;
}

bool LoggerCore::downloadStep() {
    return download_.step() == DownloadStep::Running;
}

void LoggerCore::clearMemory() {
    session_.ClearMemory();
}

void LoggerCore::setClock() {
    session_.SetClock();
}

LoggingSettings LoggerCore::loggingSettings() const {
    const auto& status = session_.status();
    return status ? loggingSettingsOf(*status) : LoggingSettings{};
}

void LoggerCore::changeSettings(const LoggingSettings& wanted) {
    session_.ChangeSettings(wanted);
}

void LoggerCore::endWork(const LoggerFields& fields) {
    download_.abandon();
    session_.EndWork();
    fields_ = fields;
    saveLoggerSettings(fields_);
}

ControlStates LoggerCore::controls(bool tcpTicked) const {
    const bool downloading = download_.running();
    const bool ready = session_.moduleReady();
    // A lost line ends the connection state: the window is as before "Połącz".
    const ConnectionFields connection =
        session_.lineLost() ? ConnectionFields::ByTransport : connectionFields_;
    ControlStates c;
    c.comFields = connection == ConnectionFields::All ||
                  (connection == ConnectionFields::ByTransport && !tcpTicked);
    c.tcpFields = connection == ConnectionFields::All ||
                  (connection == ConnectionFields::ByTransport && tcpTicked);
    c.tcpBox = connection != ConnectionFields::None;
    c.connectButton = !downloading;
    c.moduleButtons = ready && !downloading;
    c.connectedShown = ready;
    c.recordNumberShown = downloading;
    c.temperaturesBox = !lineTable_.loaded;
    return c;
}

}  // namespace dkq
