// What webmon's core tells its window to show. The window implements it with
// its controls; tests implement it with a recording fake.
#pragma once

#include <string>

#include "monitor/measurement.h"
#include "monitor/monitor_report.h"
#include "webmon/web_settings.h"

namespace dkq {

class WebMonitorView {
  public:
    virtual ~WebMonitorView() = default;

    // Copies the fields the user edits into settings: recording period and
    // file name.
    virtual void readFields(WebMonitorSettings& settings) = 0;
    // Puts settings back into those fields.
    virtual void showFields(const WebMonitorSettings& settings) = 0;
    // Names and bar ranges, firmware text and mode indicators; with the PWM
    // flag set O11, O12 and the C2 column are hidden.
    virtual void showModule(const ModuleSlot& slot) = 0;
    // Bar positions, value texts and the error counter.
    virtual void showValues(const ModuleSlot& slot) = 0;
    // "Czas do następnego zapisu" as hours, minutes, seconds.
    virtual void showCountdown(int seconds) = 0;
    // "Liczba zapisanych pomiarów".
    virtual void showSavedCount(int count) = 0;
    virtual void showReadback(const OutputReadback& readback) = 0;
    // "Brak połączenia TCP/IP!".
    virtual void showConnectionLost(bool visible) = 0;
    // "Transmisja do serwera": the upload is configured and was attempted.
    virtual void showUploading(bool visible) = 0;
    // Recording: the 1000 ms timer runs and calls AcquisitionTick; START is
    // disabled, STOP and "CLR 1".."CLR 4" enabled. Idle: the reverse.
    virtual void showMonitoring(bool monitoring) = 0;
};

}  // namespace dkq
