// What webmon's core shows, kept for tests; `fields` is what the window's
// edit fields hold.
#pragma once

#include <optional>
#include <vector>

#include "webmon/web_monitor_core.h"

namespace dkq::test {

class FakeWebView : public WebMonitorView {
  public:
    void readFields(WebMonitorSettings& settings) override { settings = fields; }
    void showFields(const WebMonitorSettings& settings) override { fields = settings; }
    void showModule(const ModuleSlot&) override {}
    void showValues(const ModuleSlot&) override {}
    void showCountdown(int seconds) override { countdowns.push_back(seconds); }
    void showSavedCount(int) override {}
    void showReadback(const OutputReadback& shown) override { readback = shown; }
    void showConnectionLost(bool visible) override { connectionLost = visible; }
    void showUploading(bool visible) override { uploading = visible; }
    void showUploadState(const UploadState& state) override { uploadState = state; }
    void showMonitoring(bool on) override { monitoring = on; }

    WebMonitorSettings fields;
    std::vector<int> countdowns;
    std::optional<OutputReadback> readback;
    bool connectionLost = false, uploading = false, monitoring = false;
    UploadState uploadState;
};

}  // namespace dkq::test
