// "Monitor DKQ-1-5", multimon's main window. It owns the link and the core
// for the whole run, shows what the core reports through MonitorView and
// forwards clicks to the core; MonitorWindow holds what it shares with
// webmon's window.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "multimon/monitor_core.h"
#include "multimon/monitor_view.h"
#include "widgets/monitor_window.h"

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace dkq {

class MonitorDialog : public MonitorWindow, public MonitorView {
    Q_OBJECT

  public:
    explicit MonitorDialog(QWidget* parent = nullptr);

    // Registry settings, the configuration file of the first command word,
    // and START when the second word begins with "/start".
    void startUp(const std::vector<std::string>& commandWords) override;

    MonitorCore& core() { return core_; }
    // "Wykres": the trend chart of the module shown, opened once per module.
    TrendWindow* openChart() override;

    // --- MonitorView ---------------------------------------------------------
    void readFields(MonitorSettings& settings) override;
    void showFields(const MonitorSettings& settings) override;
    void showModule(int module, const ModuleSlot& slot) override;
    void showValues(const ModuleSlot& slot,
                    const std::array<int, ModuleCount>& errorCounts) override;
    void showModuleChoice(const std::array<bool, ModuleCount>& enabled,
                          int selectedModule) override;
    void showFileProblem(const FileProblem& problem) override;
    void showPartPath(bool visible, const std::string& path) override;
    // The split box too is locked while monitoring.
    void showMonitoring(bool monitoring) override;

  private:
    QLayout* buildSplitRow();
    QWidget* buildModuleChoice();
    QList<QPushButton*> buildLineSetupButtons();
    void openLineSetup(int module);

    MonitorCore core_;

    QCheckBox* splitFile_ = nullptr;
    QLineEdit* partPath_ = nullptr;
    QButtonGroup* moduleChoice_ = nullptr;
    std::array<QRadioButton*, ModuleCount> moduleRadios_{};
    std::array<QLineEdit*, ModuleCount> errorCounts_{};
    QLabel* fileProblem_ = nullptr;
    std::array<QPushButton*, ModuleCount> lineSetupButtons_{};
};

}  // namespace dkq
