// "Monitor DKQ-1", webmon's main window. It owns the link and the core for
// the whole run, shows what the core reports through WebMonitorView and
// forwards clicks to the core; MonitorWindow holds what it shares with
// multimon's window.
#pragma once

#include <string>
#include <vector>

#include "webmon/web_monitor_core.h"
#include "webmon/web_monitor_view.h"
#include "widgets/monitor_window.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace dkq {

class WebMonitorDialog : public MonitorWindow, public WebMonitorView {
    Q_OBJECT

  public:
    explicit WebMonitorDialog(QWidget* parent = nullptr);

    // Registry settings, web-monitor.dat, the command line.
    void startUp(const std::vector<std::string>& commandWords) override;

    WebMonitorCore& core() { return core_; }
    // "Wykres": the trend chart of the module.
    TrendWindow* openChart() override;

    // --- WebMonitorView ------------------------------------------------------
    void readFields(WebMonitorSettings& settings) override;
    void showFields(const WebMonitorSettings& settings) override;
    void showModule(const ModuleSlot& slot) override;
    void showValues(const ModuleSlot& slot) override;
    void showUploading(bool visible) override;
    void showUploadState(const UploadState& state) override;

  private:
    QWidget* buildUploadLabels();
    QWidget* buildModuleState();
    QPushButton* buildLineSetupButton();
    void openLineSetup();

    WebMonitorCore core_;

    QLineEdit* errorCount_ = nullptr;
    QLabel* uploading_ = nullptr;
    QLabel* uploadFailure_ = nullptr;
    QLabel* waiting_ = nullptr;
};

}  // namespace dkq
