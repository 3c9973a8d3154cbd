#include "modcfg/configurator_core.h"

#include <cstdio>
#include <filesystem>

#include "common/cp1250.h"
#include "common/text_file.h"
#include "settings/com_ports.h"

namespace dkq {
namespace {

constexpr int ConnectTimeoutMs = 5000;
constexpr int ReceiveTimeoutMs = 500;
constexpr int LiveRegisters = 16;
constexpr int DisplayInitCommand = 0xFE;
constexpr int LcdTestAddress = 1;
constexpr const char* NoAnswerMessage = "Brak odpowiedzi!";
constexpr const char* AskWriteConfig =
    "Czy na pewno chcesz wpisać CFG do modułu ?\n\nDotychczasowa konfiguracja modułu\n"
    "zostanie zastąpiona!";

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

std::string connectFailure(const ModuleLink& link, int comPort, int code) {
    if (link.UseTcp == 0) return format("Błąd otwarcia portu COM%d !", comPort);
    switch (code) {
        case 2:
            return format("Błąd połączenia w sieci !\nAdres IP (%s:%d) nie odpowiada.",
                          link.IpAddress.c_str(), link.TcpPort);
        case 3:
            return "Błąd inicjacji biblioteki WinSock";
        case 4:
            return "Błąd tworzenia socketa";
        case 5:
            return "Błąd funkcji ioctlsocket()";
        default:
            return format("Błąd (%d) połączenia TCP/IP", code);
    }
}

std::string diagnosticsText(const Diagn1Block& d) {
    return format(
        "Wersja = v%02X\nSN=%02X%02X%02X%02X%02X%02X\nUZ=%02X\nVcc=%02X\nFLASH "
        "SUM=%02X\nEE_SUM=%02X",
        d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], d[8], d[9], d[10]);
}

}  // namespace

// Over TCP there is no port: the texts say what DKQ-Logger says of its connection.
ConnectionTexts connectionTexts(bool tcp) {
    if (tcp) return {"Połączenie nawiązane", "Rozłącz TCP/IP"};
    return {"Port COM otwarty", "Rozłącz port COM"};
}

void tellReplacedCharacters(Prompter& prompter, std::string_view text) {
    if (const std::string outside = charsOutsideCp1250(text); !outside.empty())
        prompter.message(
            "Znaki spoza strony kodowej Windows-1250 zastąpiono znakiem '?': " + outside,
            MessageIcon::Exclamation);
}

ConfiguratorCore::ConfiguratorCore(Prompter& prompter, TransferProgress& progress)
    : prompter_(prompter), progress_(progress) {
    link_.ComDevice = comPortDevice;
}

void ConfiguratorCore::startUp(MainFields& fields) {
    fields = MainFields{};
    link_.UseTcp = 0;
    link_.ConnectTimeoutMs = ConnectTimeoutMs;
    link_.ReceiveTimeoutMs = ReceiveTimeoutMs;
    link_.LogEnabled = 0;
    link_.InitNetwork(true);
    ConfiguratorSettings settings;
    loadConfiguratorSettings(settings);
    fields.comPort = settings.link.comPort;
    fields.speed = settings.link.speed;
    fields.echo = settings.echo;
    fields.busAddress = settings.busAddress;
    fields.ipAddress = settings.link.ipAddress;
    fields.tcpPort = settings.link.tcpPort;
    fields.useTcp = settings.link.useTcp;
    copyTransport(fields);
}

void ConfiguratorCore::LoadDefaultConfig() {
    std::size_t size = 0;
    if (!std::filesystem::exists(DefaultConfigFile)) return;
    const ConfigFileResult result = loadConfigFile(DefaultConfigFile, image_, &size);
    if (result == ConfigFileResult::WrongSize)
        prompter_.message(configFileMessage(result, DefaultConfigFile, size),
                          MessageIcon::Exclamation);
}

void ConfiguratorCore::shutDown(const MainFields& f) {
    saveConfiguratorSettings(
        {{f.comPort, f.speed, f.useTcp, f.ipAddress, f.tcpPort}, f.echo, f.busAddress});
}

void ConfiguratorCore::copyTransport(const MainFields& fields) {
    link_.IpAddress = fields.ipAddress;
    link_.TcpPort = fields.tcpPort;
    link_.UseTcp = fields.useTcp ? 1 : 0;
}

bool ConfiguratorCore::Connect(const MainFields& fields) {
    if (link_.IsOpen()) link_.close_com();
    copyTransport(fields);
    const int code = link_.open_com(fields.comPort, fields.speed);
    if (code == open::Ok) return true;
    prompter_.message(connectFailure(link_, fields.comPort, code), MessageIcon::Error);
    return false;
}

void ConfiguratorCore::Disconnect() {
    if (link_.IsOpen()) link_.close_com();
}

bool ConfiguratorCore::ReadConfig(const MainFields& fields) {
    if (!link_.IsOpen() && !Connect(fields)) return false;
    const TransferResult result = ReadConfigFromModule(link_, fields.busAddress, image_, progress_);
    prompter_.message(readTransferMessage(result),
                      result.ok() ? MessageIcon::Information : MessageIcon::Error);
    return result.ok();
}

bool ConfiguratorCore::WriteConfig(const MainFields& fields) {
    if (!link_.IsOpen()) {
        prompter_.message(PortNotConnectedMessage, MessageIcon::Exclamation);
        return false;
    }
    if (!prompter_.askYesNo(AskWriteConfig, DefaultAnswer::No)) return false;
    const TransferResult result = WriteConfigToModule(link_, fields.busAddress, image_, progress_);
    prompter_.message(writeTransferMessage(result),
                      result.ok() ? MessageIcon::Information : MessageIcon::Error);
    return result.ok();
}

void ConfiguratorCore::LoadConfigFile(const std::string& path) {
    std::size_t size = 0;
    const ConfigFileResult result = loadConfigFile(path, image_, &size);
    if (const std::string text = configFileMessage(result, fileNameOf(path), size); !text.empty())
        prompter_.message(text, MessageIcon::Exclamation);
}

void ConfiguratorCore::SaveConfigFile(const std::string& path) {
    if (saveConfigFile(path, image_) != ConfigFileResult::Ok)
        prompter_.message(configFileMessage(ConfigFileResult::WriteFailed, fileNameOf(path), 0),
                          MessageIcon::Error);
}

bool ConfiguratorCore::LiveReading(MainFields& fields) {
    if (!link_.IsOpen() && !Connect(fields)) return false;
    std::array<std::int32_t, LiveRegisters> values{};
    if (!answered(link_.ReadInputRegisters(fields.busAddress, fields.inputRegister, LiveRegisters,
                                           values)))
        return true;
    for (std::size_t k = 0; k < fields.live.size(); ++k) {
        fields.live[k] = values[k];
        fields.liveVolts[k] = static_cast<float>(values[k] * 0.001);
        fields.liveDegrees[k] = static_cast<float>(values[k] * 0.1 - 273.2);
    }
    return true;
}

bool ConfiguratorCore::linkReady() {
    if (link_.IsOpen()) return true;
    prompter_.message(PortNotConnectedMessage, MessageIcon::Exclamation);
    return false;
}

bool ConfiguratorCore::answered(int code) {
    if (code == tx::Ok) return true;
    prompter_.message(NoAnswerMessage, MessageIcon::Error);
    return false;
}

void ConfiguratorCore::ReadConfigRegister(MainFields& f) {
    std::array<std::int32_t, 1> value{};
    if (linkReady() &&
        answered(link_.ReadSignedRegisters(f.busAddress, f.configRegister, 1, value)))
        f.configValue = value[0];
}

void ConfiguratorCore::WriteConfigRegister(const MainFields& f) {
    const std::array<std::int32_t, 1> value{f.configValue};
    if (linkReady()) answered(link_.WriteRegisters(f.busAddress, f.configRegister, 1, value));
}

void ConfiguratorCore::ReadInputRegister(MainFields& f) {
    std::array<std::int32_t, 1> value{};
    if (linkReady() && answered(link_.ReadInputRegisters(f.busAddress, f.inputRegister, 1, value)))
        f.inputValue = value[0];
}

void ConfiguratorCore::ReadOutputRegister(MainFields& f) {
    std::array<std::int32_t, 1> value{};
    if (linkReady() &&
        answered(link_.ReadHoldingRegisters(f.busAddress, f.outputRegister, 1, value)))
        f.outputValue = value[0];
}

void ConfiguratorCore::WriteOutputRegister(const MainFields& f) {
    if (linkReady()) answered(link_.WriteRegister(f.busAddress, f.outputRegister, f.outputValue));
}

void ConfiguratorCore::ShowText(const MainFields& f) {
    if (!linkReady()) return;
    tellReplacedCharacters(prompter_, f.displayText);
    const std::string bytes = utf8ToCp1250(f.displayText);
    answered(
        link_.WriteText(f.busAddress, DisplayInitCommand, static_cast<int>(bytes.size()), bytes));
}

bool ConfiguratorCore::ShowDiagnostics(const MainFields& f) {
    bool opened = false;
    if (!link_.IsOpen()) {
        if (link_.open_com(f.comPort, f.speed) != open::Ok) {
            prompter_.message("Błąd otwarcia portu COM !", MessageIcon::Error);
            return false;
        }
        opened = true;
    }
    Diagn1Block block{};
    if (link_.ReadDiagn1(f.busAddress, 0, block) == tx::Ok)
        prompter_.message(diagnosticsText(block), MessageIcon::Information);
    else
        prompter_.message("Błąd odczytania diagnostyki !", MessageIcon::Error);
    return opened;
}

void ConfiguratorCore::LcdTest() {
    int code = tx::Ok;
    const auto step = [&](int result, const char* failure) {
        code = result;
        if (code != tx::Ok) prompter_.message(failure, MessageIcon::Error);
    };
    const std::array<int, 4> outputs{192, 48, 12, 3};
    const char* const writeFailures[] = {"1-1", "2-1", "3-1", "4-1"};
    for (std::size_t n = 0; n < outputs.size(); ++n)
        step(link_.WriteRegister(LcdTestAddress, OutputWordRegister, outputs[n]), writeFailures[n]);
    step(link_.WriteText(LcdTestAddress, DisplayInitCommand, 11, "Test LCD 1 "), "5-1");
    step(link_.WriteText(LcdTestAddress, 0, 5, "TEKST"), "6-1");
    step(link_.WriteText(LcdTestAddress, 0xC0, 16, "Test linii 2 LCD"), "7-1");
    if (code != tx::Ok) prompter_.message(format("COMM zwrócił %d", code), MessageIcon::Error);
}

}  // namespace dkq
