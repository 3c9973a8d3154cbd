#include "multimon/monitor_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "multimon/comm_settings.h"
#include "resources/program_icons.h"
#include "widgets/about_box.h"
#include "widgets/form_fields.h"
#include "widgets/line_setup_dialog.h"
#include "widgets/readings_panel.h"
#include "widgets/recording_panel.h"
#include "widgets/trend_window.h"

namespace dkq {

MonitorDialog::MonitorDialog(QWidget* parent)
    : MonitorWindow("Monitor DKQ-1-5", programIcon(ProgramIcon::Multimon), "CLR%1",
                    MessageIcon::Error, parent),
      core_(link_, *this, prompter_, clock_) {
    fileProblem_ = alarmLabel("Brak dostępu do pliku!", "fileProblemLabel");
    MonitorWindowParts parts{buildSplitRow(),       fileProblem_,
                             buildModuleChoice(),   buildLineSetupButtons(),
                             "Zapisz CFG\nna dysk", "Odczytaj CFG\nz dysku"};
    assemble(core_, multimonCommShape(), parts);
    addAboutAction(
        this, programIcon(ProgramIcon::Multimon),
        {"Monitor DKQ-1", "wersja 2.5C", "Wersja 5-modułowa (max. 100 linii wejściowych)"});
}

void MonitorDialog::startUp(const std::vector<std::string>& commandWords) {
    core_.startUp(commandWords);
}

// --- building the window --------------------------------------------------------

QLayout* MonitorDialog::buildSplitRow() {
    splitFile_ = new QCheckBox("Podział pliku na części");
    splitFile_->setObjectName("splitFileBox");
    partPath_ = readOnlyField("partPathField", 0);
    partPath_->setAlignment(Qt::AlignLeft);
    partPath_->setVisible(false);
    auto* split = new QHBoxLayout;
    split->addWidget(splitFile_);
    split->addWidget(partPath_, 1);
    return split;
}

QWidget* MonitorDialog::buildModuleChoice() {
    auto* group = new QGroupBox("Wybór modułu do wyświetlania:");
    auto* grid = new QGridLayout(group);
    moduleChoice_ = new QButtonGroup(this);
    grid->addWidget(new QLabel("Liczba błędów komunikacji:"), 2, 0, 1, ModuleCount);
    for (int module = 0; module < ModuleCount; ++module) {
        const QChar letter(moduleLetter(module));
        moduleRadios_[module] = new QRadioButton(QString("Moduł %1").arg(letter));
        moduleRadios_[module]->setObjectName(QString("moduleRadio%1").arg(letter));
        moduleChoice_->addButton(moduleRadios_[module], module);
        errorCounts_[module] = readOnlyField(QString("errorCount%1").arg(letter), 52);
        grid->addWidget(moduleRadios_[module], 0, module);
        grid->addWidget(errorCounts_[module], 3, module, Qt::AlignLeft);
    }
    grid->setRowMinimumHeight(1, 6);
    connect(moduleChoice_, &QButtonGroup::idClicked, this,
            [this](int module) { core_.SelectModule(module); });
    grid->addLayout(supplyAlarmRow(), 4, 0, 1, ModuleCount);
    return group;
}

QList<QPushButton*> MonitorDialog::buildLineSetupButtons() {
    for (int module = 0; module < ModuleCount; ++module) {
        const QChar letter(moduleLetter(module));
        lineSetupButtons_[module] = plainButton(QString("Wejścia (%1)").arg(letter),
                                                QString("lineSetupButton%1").arg(letter));
        connect(lineSetupButtons_[module], &QPushButton::clicked, this,
                [this, module] { openLineSetup(module); });
    }
    return {lineSetupButtons_.begin(), lineSetupButtons_.end()};
}

// --- MonitorView ------------------------------------------------------------------

void MonitorDialog::readFields(MonitorSettings& settings) {
    recording_->readFields(settings);
    settings.splitFile = splitFile_->isChecked();
}

void MonitorDialog::showFields(const MonitorSettings& settings) {
    recording_->showFields(settings);
    splitFile_->setChecked(settings.splitFile);
}

void MonitorDialog::showModule(int, const ModuleSlot& slot) {
    recording_->showFirmware(slot.firmwareText);
    outputs_->showModeFlags(slot.modeFlags);
    readings_->showChannels(slot);
}

void MonitorDialog::showValues(const ModuleSlot& slot,
                               const std::array<int, ModuleCount>& errorCounts) {
    readings_->showValues(slot);
    for (int module = 0; module < ModuleCount; ++module)
        setFieldText(errorCounts_[module], QString::number(errorCounts[module]));
}

void MonitorDialog::showModuleChoice(const std::array<bool, ModuleCount>& enabled,
                                     int selectedModule) {
    for (int module = 0; module < ModuleCount; ++module) {
        moduleRadios_[module]->setEnabled(enabled[module]);
        errorCounts_[module]->setEnabled(enabled[module]);
        // Module A's line setup stays open to editing whatever its address.
        lineSetupButtons_[module]->setEnabled(module == 0 || enabled[module]);
    }
    moduleRadios_[selectedModule]->setChecked(true);
}

void MonitorDialog::showFileProblem(const FileProblem& problem) {
    fileProblem_->setVisible(problem.visible);
    fileProblem_->setToolTip(QString("Pomiary czekające na zapis: %1, utracone: %2")
                                 .arg(problem.waitingRecords)
                                 .arg(problem.droppedRecords));
}

void MonitorDialog::showPartPath(bool visible, const std::string& path) {
    setFieldText(partPath_, QString::fromStdString(path));
    partPath_->setToolTip(partPath_->text());
    partPath_->setVisible(visible);
}

void MonitorDialog::showMonitoring(bool monitoring) {
    MonitorWindow::showMonitoring(monitoring);
    splitFile_->setEnabled(!monitoring);
}

// --- actions -------------------------------------------------------------------------

void MonitorDialog::openLineSetup(int module) {
    ModuleSlot& slot = core_.modules()[module];
    LineSetupDialog dialog(module, slot.busAddress, slot.channels, this);
    if (dialog.exec() != QDialog::Accepted) return;
    slot.channels = dialog.channels();
    core_.refreshModuleView();
}

TrendWindow* MonitorDialog::openChart() {
    const int module = core_.selectedModule();
    return showChart(module, QString("Moduł %1").arg(QChar(moduleLetter(module))),
                     core_.trend(module), core_.modules()[module].channels);
}

}  // namespace dkq
