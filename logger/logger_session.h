// The record memory reader's conversation with one module: opening the line,
// the status request, the confirmed commands and ending the connection, with
// the messages the user sees. A window or a command-line tool drives it.
#pragma once

#include <optional>
#include <string>

#include "common/clock.h"
#include "common/prompter.h"
#include "link/module_link.h"
#include "logger/status_answer.h"

namespace dkq::logger {

// Results of ReadStatus.
namespace status {
inline constexpr int Ok = 0;
inline constexpr int NoAnswer = 1;  // link lost or nothing came back
inline constexpr int UnknownFormat = 2;
inline constexpr int WrongLength = 3;
inline constexpr int ChecksumError = 4;
}  // namespace status

struct ConnectResult {
    int openCode = 0;               // open_com's code
    std::optional<int> statusCode;  // ReadStatus' result once the line was open
    bool connected() const { return openCode == 0 && statusCode == status::Ok; }
};

// What the module logs, as the logging settings dialog edits it.
struct LoggingSettings {
    bool loggingOn = false;
    bool cyclicBuffer = false;
    int periodSeconds = 0;  // 0..65535
    LoggedItemMask mask{};
};

LoggingSettings loggingSettingsOf(const StatusAnswer& status);

// Items 1-39 as the settings dialog names them ("L1", ..., "PWM2"); item 40
// has no name (empty).
std::string loggedItemName(int item);

enum class CommandOutcome { Declined, Confirmed, NotConfirmed };

class LoggerSession {
  public:
    LoggerSession(ModuleLink& link, Prompter& prompter, Clock& clock);

    // "Połącz". The caller has set the link's UseTcp, IpAddress, TcpPort and
    // time-outs. Opens the line, wakes the record memory, reads the status.
    ConnectResult ConnectLogger(int comPort, int baud);
    int ReadStatus();
    // "*EOT!" twice, then the line is closed.
    void DisconnectLogger();
    // "Koniec pracy": "*EOT!" twice when the line is open.
    void EndWork();
    // No module answers "*EOT!". The window sends it awaiting one byte, so
    // a serial line waits out the port's time-out after each; after this
    // call it is sent awaiting nothing (dkq, whose sessions end at once).
    void endWithoutWaiting() { endAnswerLength_ = 0; }

    // "Odczytaj status": refuses when the line is closed.
    int RefreshStatus();
    // "Skasuj pamięć", "Ustaw zegar", "Zmień ustawienia": each asks first.
    CommandOutcome ClearMemory();
    CommandOutcome SetClock();
    CommandOutcome ChangeSettings(const LoggingSettings& wanted);

    // The last status read successfully.
    const std::optional<StatusAnswer>& status() const { return status_; }
    // True between a successful status read and the next disconnect: the
    // indicator "Połączenie nawiązane" and the module buttons follow it.
    bool moduleReady() const { return moduleReady_; }
    // True after a status request found the line lost ("Połączenie TCP/IP
    // zostało zerwane!"), until the next "Połącz".
    bool lineLost() const { return lineLost_; }
    LineKind lineKind() const { return link_.UseTcp ? LineKind::Tcp : LineKind::Serial; }

    ModuleLink& link() { return link_; }
    Prompter& prompter() { return prompter_; }
    Clock& clock() { return clock_; }

  private:
    void showOpenFailure(int code, int comPort);
    void wakeUpOverTcp();
    void sendEndOfTransmission();
    int failStatus(int code, const char* message);
    bool sendConfirmed(const std::string& command);
    void error(const std::string& text);

    ModuleLink& link_;
    Prompter& prompter_;
    Clock& clock_;
    std::optional<StatusAnswer> status_;
    int endAnswerLength_ = 1;  // expectedLen of "*EOT!"
    bool moduleReady_ = false;
    bool lineLost_ = false;
};

}  // namespace dkq::logger
