// "Monitor DKQ-1", webmon's main window. It owns the link and the core for
// the whole run, shows what the core reports through WebMonitorView,
// forwards clicks to the core, and runs the 1000 ms acquisition timer while
// the core is recording.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <string>
#include <vector>

#include "common/clock.h"
#include "link/module_link.h"
#include "webmon/web_monitor_core.h"
#include "webmon/web_monitor_view.h"
#include "widgets/qt_prompter.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace dkq {

class OutputsPanel;
class ReadingsPanel;
class RecordingPanel;
class TrendWindow;

class WebMonitorDialog : public QDialog, public WebMonitorView {
    Q_OBJECT

  public:
    explicit WebMonitorDialog(QWidget* parent = nullptr);

    // Registry settings, web-monitor.dat, the command line.
    void startUp(const std::vector<std::string>& commandWords);

    WebMonitorCore& core() { return core_; }
    // "Wykres": the trend chart of the module.
    TrendWindow* openChart();
    // The close command has run (STOP, the registry settings saved).
    bool closed() const { return closed_; }

    // Esc does not close the main window.
    void reject() override;

    // --- WebMonitorView ------------------------------------------------------
    void readFields(WebMonitorSettings& settings) override;
    void showFields(const WebMonitorSettings& settings) override;
    void showModule(const ModuleSlot& slot) override;
    void showValues(const ModuleSlot& slot) override;
    void showCountdown(int seconds) override;
    void showSavedCount(int count) override;
    void showReadback(const OutputReadback& readback) override;
    void showConnectionLost(bool visible) override;
    void showUploading(bool visible) override;
    void showMonitoring(bool monitoring) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The close command: STOP, the registry settings saved.
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* buildRecording();
    QWidget* buildModuleState();
    QWidget* buildButtons();
    void openCommSettings();
    void openLineSetup();
    void loadConfigFile();
    void acquisitionTick();

    ModuleLink link_;
    QtPrompter prompter_{this};
    SystemClock clock_;
    WebMonitorCore core_;
    QTimer acquisitionTimer_;

    ReadingsPanel* readings_ = nullptr;
    OutputsPanel* outputs_ = nullptr;
    RecordingPanel* recording_ = nullptr;
    QLineEdit* errorCount_ = nullptr;
    std::array<QLabel*, 2> supplyAlarms_{};  // Uz, Vcc
    QLabel* uploading_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    TrendWindow* chart_ = nullptr;
    bool closed_ = false;
};

}  // namespace dkq
