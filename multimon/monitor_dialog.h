// "Monitor DKQ-1-5", multimon's main window. It owns the link and the core
// for the whole run, shows what the core reports through MonitorView,
// forwards clicks to the core, and runs the 1000 ms acquisition timer while
// the core is monitoring.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <string>
#include <vector>

#include "common/clock.h"
#include "link/module_link.h"
#include "multimon/monitor_core.h"
#include "multimon/monitor_view.h"
#include "widgets/qt_prompter.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace dkq {

class OutputsPanel;
class ReadingsPanel;
class RecordingPanel;
class TrendWindow;

class MonitorDialog : public QDialog, public MonitorView {
    Q_OBJECT

  public:
    explicit MonitorDialog(QWidget* parent = nullptr);

    // Registry settings, the configuration file of the first command word,
    // and START when the second word begins with "/start".
    void startUp(const std::vector<std::string>& commandWords);

    MonitorCore& core() { return core_; }
    // "Wykres": the trend chart of the module shown, opened once per module.
    TrendWindow* openChart();
    // The close command has run (the registry settings are saved).
    bool closed() const { return closed_; }

    // Esc does not close the main window.
    void reject() override;

    // --- MonitorView ---------------------------------------------------------
    void readFields(MonitorSettings& settings) override;
    void showFields(const MonitorSettings& settings) override;
    void showModule(int module, const ModuleSlot& slot) override;
    void showValues(const ModuleSlot& slot,
                    const std::array<int, ModuleCount>& errorCounts) override;
    void showModuleChoice(const std::array<bool, ModuleCount>& enabled,
                          int selectedModule) override;
    void showCountdown(int seconds) override;
    void showSavedCount(int count) override;
    void showReadback(const OutputReadback& readback) override;
    void showConnectionLost(bool visible) override;
    void showFileProblem(const FileProblem& problem) override;
    void showPartPath(bool visible, const std::string& path) override;
    void showMonitoring(bool monitoring) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The close command saves the registry settings and tells how many
    // records could not be written.
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* buildRecording();
    QWidget* buildModuleChoice();
    QWidget* buildButtons();
    void openCommSettings();
    void openLineSetup(int module);
    void loadConfigFile();
    void acquisitionTick();

    ModuleLink link_;
    QtPrompter prompter_{this};
    SystemClock clock_;
    MonitorCore core_;
    QTimer acquisitionTimer_;

    ReadingsPanel* readings_ = nullptr;
    OutputsPanel* outputs_ = nullptr;
    RecordingPanel* recording_ = nullptr;
    QCheckBox* splitFile_ = nullptr;
    QLineEdit* partPath_ = nullptr;
    QButtonGroup* moduleChoice_ = nullptr;
    std::array<QRadioButton*, ModuleCount> moduleRadios_{};
    std::array<QLineEdit*, ModuleCount> errorCounts_{};
    std::array<QLabel*, 2> supplyAlarms_{};  // Uz, Vcc
    QLabel* fileProblem_ = nullptr;
    std::array<QPushButton*, ModuleCount> lineSetupButtons_{};
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    std::array<TrendWindow*, ModuleCount> charts_{};
    bool closed_ = false;
};

}  // namespace dkq
