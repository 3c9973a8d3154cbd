#include "logger/logger_session.h"

#include <array>

#include "logger/format_text.h"
#include "logger/logger_messages.h"

namespace dkq::logger {
namespace {

constexpr const char* kStatusCommand = "*RD_0,0";
constexpr const char* kClearCommand = "*CLR=1,0";
constexpr const char* kEndCommand = "*EOT!";
constexpr int kStatusTries = 6;
constexpr int kStatusRetryMs = 20;
constexpr int kConfirmationLength = 3;
constexpr int kNoAnswer = 1;  // expectedLen of a command that awaits nothing over TCP
constexpr int kReconnectPauseMs = 100;
// Over TCP the wake-up line travels as a text command, with pauses around
// and between its two copies.
constexpr std::array<int, 3> kTcpWakeUpPausesMs = {100, 200, 100};
constexpr int kUnnamedItem = 40;

const std::array<const char*, 7> kOtherItemNames = {
    "Uzas", "Vcc", "FLASH%", "Okres rejestracji", "Stan wyjść", "PWM1", "PWM2"};

}  // namespace

LoggingSettings loggingSettingsOf(const StatusAnswer& s) {
    return {s.loggingOn, s.cyclicBuffer, s.periodSeconds, s.mask};
}

std::string loggedItemName(int item) {
    if (item >= 1 && item <= 16) return formatText("L%d", item);
    if (item >= 17 && item <= 20) return formatText("C%d", item - 16);
    if (item >= 21 && item <= 32) return formatText("O%d", item - 20);
    if (item >= 33 && item <= 39) return kOtherItemNames[static_cast<size_t>(item - 33)];
    return {};
}

LoggerSession::LoggerSession(ModuleLink& link, Prompter& prompter, Clock& clock)
    : link_(link), prompter_(prompter), clock_(clock) {
    link_.RecordMemoryMode = true;
}

ConnectResult LoggerSession::ConnectLogger(int comPort, int baud) {
    if (link_.IsOpen()) {
        DisconnectLogger();
        clock_.sleepMs(kReconnectPauseMs);
    }
    ConnectResult result;
    lineLost_ = false;
    result.openCode = link_.open_com(comPort, baud);
    if (result.openCode != open::Ok) {
        showOpenFailure(result.openCode, comPort);
        return result;
    }
    if (link_.UseTcp) wakeUpOverTcp();
    result.statusCode = ReadStatus();
    return result;
}

void LoggerSession::showOpenFailure(int code, int comPort) {
    if (!link_.UseTcp) return error(formatText(text::PortOpenFailed, comPort));
    switch (code) {
        case open::ConnectTimeout:
            return error(formatText(text::NetworkNoAnswer, link_.IpAddress.c_str(), link_.TcpPort));
        case open::NetworkFailed:
            return error(text::WinSockFailed);
        case open::SocketFailed:
            return error(text::SocketFailed);
        case open::IoctlFailed:
            return error(text::IoctlFailed);
        default:
            return error(formatText(text::TcpFailed, code));
    }
}

void LoggerSession::wakeUpOverTcp() {
    clock_.sleepMs(kTcpWakeUpPausesMs[0]);
    link_.AsciiCommand(WakeUpLine, kNoAnswer);
    clock_.sleepMs(kTcpWakeUpPausesMs[1]);
    link_.AsciiCommand(WakeUpLine, kNoAnswer);
    clock_.sleepMs(kTcpWakeUpPausesMs[2]);
}

int LoggerSession::ReadStatus() {
    int received = 0;
    for (int attempt = 1; attempt <= kStatusTries; ++attempt) {
        received = link_.AsciiCommand(kStatusCommand, StatusFrameSize);
        if (!link_.IsOpen() || received >= StatusContentLength) break;
        if (attempt < kStatusTries) clock_.sleepMs(kStatusRetryMs);
    }
    if (!link_.IsOpen()) {
        // The connection is over: nothing may go on as if it were there.
        moduleReady_ = false;
        lineLost_ = true;
        error(link_.UseTcp ? text::TcpLinkLost : text::SerialLinkLost);
        return status::NoAnswer;
    }
    if (received == 0) {
        error(text::NoStatusAnswer);
        DisconnectLogger();
        return status::NoAnswer;
    }
    switch (ValidateAnswer(link_.AnswerText, StatusLetter, StatusContentLength, received)) {
        case answer::Correct:
            break;
        case answer::UnknownFormat:
            return failStatus(status::UnknownFormat, text::StatusUnknownFormat);
        case answer::WrongLength:
            return failStatus(status::WrongLength, text::StatusWrongLength);
        default:
            return failStatus(status::ChecksumError, text::StatusDamaged);
    }
    status_ = decodeStatus(std::span(link_.AnswerText).first<StatusFrameSize>());
    moduleReady_ = true;
    return status::Ok;
}

int LoggerSession::failStatus(int code, const char* message) {
    DisconnectLogger();
    error(message);
    return code;
}

void LoggerSession::sendEndOfTransmission() {
    link_.AsciiCommand(kEndCommand, endAnswerLength_);
    link_.AsciiCommand(kEndCommand, endAnswerLength_);
}

void LoggerSession::DisconnectLogger() {
    sendEndOfTransmission();
    link_.close_com();
    moduleReady_ = false;
}

void LoggerSession::EndWork() {
    if (link_.IsOpen()) sendEndOfTransmission();
}

int LoggerSession::RefreshStatus() {
    if (link_.IsOpen()) return ReadStatus();
    prompter_.message(text::NotConnected, MessageIcon::Exclamation);
    return status::NoAnswer;
}

bool LoggerSession::sendConfirmed(const std::string& command) {
    const int received = link_.AsciiCommand(command, kConfirmationLength);
    return received > 2 && link_.AnswerText[0] == 'O' && link_.AnswerText[1] == 'K';
}

CommandOutcome LoggerSession::ClearMemory() {
    auto outcome = CommandOutcome::Declined;
    if (prompter_.askYesNo(text::AskClear, DefaultAnswer::No)) {
        if (sendConfirmed(kClearCommand)) {
            outcome = CommandOutcome::Confirmed;
            prompter_.message(text::Cleared, MessageIcon::Information);
        } else {
            outcome = CommandOutcome::NotConfirmed;
            error(text::NotConfirmed);
        }
    }
    ReadStatus();
    return outcome;
}

CommandOutcome LoggerSession::SetClock() {
    if (!prompter_.askYesNo(text::AskSetClock, DefaultAnswer::Yes)) return CommandOutcome::Declined;
    const std::tm now = clock_.localNow();
    const std::string command =
        formatText("*CK=%02d:%02d:%02d %02d-%02d-%02d", now.tm_hour, now.tm_min, now.tm_sec,
                   now.tm_mday, now.tm_mon + 1, now.tm_year + 1900 - 2000);
    if (!sendConfirmed(command)) {
        error(text::NotConfirmed);
        return CommandOutcome::NotConfirmed;
    }
    prompter_.message(text::ClockSet, MessageIcon::Information);
    ReadStatus();
    return CommandOutcome::Confirmed;
}

CommandOutcome LoggerSession::ChangeSettings(const LoggingSettings& wanted) {
    LoggedItemMask mask = wanted.mask;
    setLogged(mask, kUnnamedItem, false);
    const bool itemsChanged = !status_ || status_->mask != mask;
    if (itemsChanged && !prompter_.askYesNo(text::AskChangeItems, DefaultAnswer::No))
        return CommandOutcome::Declined;
    const std::string command = formatText("*LG=%d,%d,%d,%d,%d,%d,%d,%d", wanted.loggingOn ? 1 : 0,
                                           wanted.cyclicBuffer ? 1 : 0, wanted.periodSeconds,
                                           mask[0], mask[1], mask[2], mask[3], mask[4]);
    if (!sendConfirmed(command)) {
        error(text::NotConfirmed);
        return CommandOutcome::NotConfirmed;
    }
    prompter_.message(text::SettingsSent, MessageIcon::Information);
    if (itemsChanged) prompter_.message(text::ClearAfterItemsChange, MessageIcon::Exclamation);
    ReadStatus();
    return CommandOutcome::Confirmed;
}

void LoggerSession::error(const std::string& text) {
    prompter_.message(text, MessageIcon::Error);
}

}  // namespace dkq::logger
