// LoggerCore: what DKQ-Logger's window does, without the window. It owns the
// reader session, the download and the line table for the whole run, carries
// out the buttons' commands, and tells the window what each control shows
// and whether it is enabled. The window moves fields in, forwards clicks and
// renders the answers of controls() and statusTexts().
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "common/clock.h"
#include "common/prompter.h"
#include "dkq-logger/logger_fields.h"
#include "link/module_link.h"
#include "logger/line_table.h"
#include "logger/logger_session.h"
#include "logger/record_download.h"

namespace dkq {

// The status fields of the window as texts, at first as the window starts.
struct StatusTexts {
    std::string version;             // "Wersja modułu"
    std::string memorySize;          // "Rozmiar pamięci  [MB]"
    std::string recordCount = "0";   // "Liczba rekordów w pamięci"
    std::string maxRecords = "0";    // "Max. liczba rekordów"
    std::string recordLength = "0";  // "Długość rekordu [B]"
    std::string occupancy;           // "Zajętość pamięci"
    std::string period = "0";        // "Okres logowania [s]"
    std::string capacity = "0";      // "Pojemność pamięci [h]"
    std::string clock;               // "Ustawienie zegara"
    std::string downloadTime;        // "Czas odczytu danych:"
    bool loggingOn = false;          // the two display-only boxes
    bool cyclicBuffer = false;
};

// The status fields: their start-up contents without a status, else the
// figures of the status, the download time estimated for the line and port
// of the fields.
StatusTexts statusTexts(const std::optional<logger::StatusAnswer>& status,
                        const LoggerFields& fields);

// Which controls are enabled or shown.
struct ControlStates {
    bool comFields = true;   // "Port COM", "Prędkość"
    bool tcpFields = false;  // "Adres IP", "Nr portu"
    bool tcpBox = true;      // "Połączenie TCP/IP"
    bool connectButton = true;
    bool moduleButtons = false;      // status, data, settings, clear, clock
    bool connectedShown = false;     // "Połączenie nawiązane"
    bool recordNumberShown = false;  // "Nr rekordu:" with its field
    bool temperaturesBox = true;
};

class LoggerCore {
  public:
    LoggerCore(ModuleLink& link, Prompter& prompter, Clock& clock);

    // The registry values and "DKQ-Logger.cfg" of the current folder; a
    // table read from it makes the lines' kinds and clears "read as
    // temperatures".
    void startUp();
    // The window's fields as last taken (the start-up values at first).
    const LoggerFields& fields() const { return fields_; }

    // "Połączenie TCP/IP" clicked: the connection fields follow the choice.
    void transportChosen();
    // "Połącz".
    void connect(const LoggerFields& fields);
    // "Odczytaj status".
    void readStatus();
    // "Odczytaj dane": true when the download runs; the window then calls
    // downloadStep from its timer until it returns false.
    bool startDownload(const LoggerFields& fields);
    bool downloadStep();
    // Runs after every batch of a download (see RecordDownload::setBatchDone).
    void setDownloadShown(std::function<void()> show) { download_.setBatchDone(std::move(show)); }
    // "Skasuj pamięć", "Ustaw zegar".
    void clearMemory();
    void setClock();
    // "Zmień ustawienia" after "Wprowadź": what the dialog offers is the
    // module's settings of the last status.
    logger::LoggingSettings loggingSettings() const;
    void changeSettings(const logger::LoggingSettings& wanted);
    // "Koniec pracy" and closing the window: a running download ends with
    // its rows kept, the module is told "*EOT!" twice, the fields are saved.
    void endWork(const LoggerFields& fields);

    // The controls as the window shows them with "Połączenie TCP/IP" as ticked now.
    ControlStates controls(bool tcpTicked) const;
    // While a download runs, "Czas odczytu danych:" tells the time left.
    StatusTexts statusTexts() const;
    const logger::RecordDownload& download() const { return download_; }

  private:
    // The connection fields follow the transport choice at start-up; a line
    // that would not open enables all five, a status read disables them.
    enum class ConnectionFields { ByTransport, All, None };

    ModuleLink& link_;
    logger::LoggerSession session_;
    logger::LineTable lineTable_;
    logger::RecordDownload download_;
    LoggerFields fields_;
    ConnectionFields connectionFields_ = ConnectionFields::ByTransport;
    std::chrono::steady_clock::time_point downloadStarted_;
};

}  // namespace dkq
