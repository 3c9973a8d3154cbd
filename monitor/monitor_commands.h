// What both monitor windows have in common with their cores: the commands
// the window's clicks and timer give, and the recording state the core shows.
// Each program's view adds what only its window shows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "monitor/comm_settings.h"
#include "monitor/monitor_report.h"

namespace dkq {

class MonitorCommands {
  public:
    virtual ~MonitorCommands() = default;

    virtual void StartMonitoring() = 0;
    virtual void AcquisitionTick() = 0;
    virtual void StopMonitoring() = 0;
    virtual void SetOutput(int output, bool on) = 0;
    virtual void RequestCounterClear(int counter) = 0;

    // The communication settings dialog works on these and hands back its
    // values on OK, nothing on Cancel.
    virtual CommSettings commSettings() = 0;
    virtual void commSettingsClosed(const std::optional<CommSettings>& accepted) = 0;

    virtual void saveConfigFile() = 0;
    // False when the file could not be read or is not the program's own.
    virtual bool loadConfigFile(const std::string& path) = 0;
    virtual void chooseCsvFile() = 0;

    // The close command: monitoring stopped, settings saved; the number of
    // records that could not be written.
    virtual std::size_t shutDown() = 0;
};

class RecordingView {
  public:
    virtual ~RecordingView() = default;

    // "Czas do następnego zapisu" as hours, minutes, seconds.
    virtual void showCountdown(int seconds) = 0;
    // "Liczba zapisanych pomiarów".
    virtual void showSavedCount(int count) = 0;
    virtual void showReadback(const OutputReadback& readback) = 0;
    // "Brak połączenia TCP/IP!".
    virtual void showConnectionLost(bool visible) = 0;
    // Monitoring: the 1000 ms timer runs and calls AcquisitionTick; START is
    // disabled, STOP and the CLR buttons enabled. Idle: the reverse.
    virtual void showMonitoring(bool monitoring) = 0;
};

}  // namespace dkq
