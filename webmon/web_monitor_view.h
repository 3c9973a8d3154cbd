// What webmon's core tells its window to show. The window implements it with
// its controls; tests implement it with a recording fake.
#pragma once

#include <string>

#include "monitor/measurement.h"
#include "monitor/monitor_commands.h"
#include "monitor/monitor_report.h"
#include "upload/http_upload.h"
#include "webmon/web_settings.h"

namespace dkq {

class WebMonitorView : public virtual RecordingView {
  public:
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
    // "Transmisja do serwera": the upload is configured and was attempted.
    virtual void showUploading(bool visible) = 0;
    // With BUFFER=1: "Oczekuje na wysłanie: N", and why the last request
    // failed beside "Transmisja do serwera" (nothing when it did not).
    virtual void showUploadState(const UploadState& state) = 0;
};

}  // namespace dkq
