#include "multimon/monitor_dialog.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "multimon/monitor_messages.h"
#include "resources/program_icons.h"
#include "widgets/about_box.h"
#include "widgets/comm_settings_dialog.h"
#include "widgets/form_fields.h"
#include "widgets/line_setup_dialog.h"
#include "widgets/readings_panel.h"
#include "widgets/recording_panel.h"
#include "widgets/trend_window.h"

namespace dkq {
namespace {

constexpr int TimerPeriodMs = 1000;
constexpr const char* ConfigFileFilter = "Pliki konfiguracji (*.CFG)|*.cfg||";

}  // namespace

MonitorDialog::MonitorDialog(QWidget* parent)
    : QDialog(parent), core_(link_, *this, prompter_, clock_) {
    setWindowTitle("Monitor DKQ-1-5");
    setWindowIcon(programIcon(ProgramIcon::Multimon));
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    link_.PortSetupMessage = [this](const std::string& text) {
        prompter_.message(text, MessageIcon::Error);
    };

    readings_ = new ReadingsPanel("CLR%1");
    connect(readings_, &ReadingsPanel::clearRequested, this,
            [this](int counter) { core_.RequestCounterClear(counter); });
    outputs_ = new OutputsPanel;
    connect(outputs_, &OutputsPanel::outputClicked, this,
            [this](int output, bool on) { core_.SetOutput(output, on); });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildRecording());
    auto* middle = new QVBoxLayout;
    middle->addWidget(buildModuleChoice());
    middle->addStretch();
    bottom->addLayout(middle);
    bottom->addWidget(outputs_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(readings_);
    layout->addLayout(bottom);
    layout->addWidget(buildButtons());

    addAboutAction(
        this, programIcon(ProgramIcon::Multimon),
        {"Monitor DKQ-1", "wersja 2.5C", "Wersja 5-modułowa (max. 100 linii wejściowych)"});

    acquisitionTimer_.setInterval(TimerPeriodMs);
    connect(&acquisitionTimer_, &QTimer::timeout, this, &MonitorDialog::acquisitionTick);
}

void MonitorDialog::startUp(const std::vector<std::string>& commandWords) {
    core_.startUp(commandWords);
}

// --- building the window --------------------------------------------------------

QWidget* MonitorDialog::buildRecording() {
    splitFile_ = new QCheckBox("Podział pliku na części");
    splitFile_->setObjectName("splitFileBox");
    partPath_ = readOnlyField("partPathField", 0);
    partPath_->setAlignment(Qt::AlignLeft);
    partPath_->setVisible(false);
    auto* split = new QHBoxLayout;
    split->addWidget(splitFile_);
    split->addWidget(partPath_, 1);
    fileProblem_ = alarmLabel("Brak dostępu do pliku!", "fileProblemLabel");
    recording_ = new RecordingPanel(split, fileProblem_);
    connect(recording_, &RecordingPanel::chooseFileClicked, this,
            [this] { core_.chooseCsvFile(); });
    return recording_;
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
        errorCounts_[module] = readOnlyField(QString("errorCount%1").arg(letter), 64);
        grid->addWidget(moduleRadios_[module], 0, module);
        grid->addWidget(errorCounts_[module], 3, module, Qt::AlignLeft);
    }
    grid->setRowMinimumHeight(1, 6);
    connect(moduleChoice_, &QButtonGroup::idClicked, this,
            [this](int module) { core_.SelectModule(module); });
    supplyAlarms_ = supplyAlarmLabels();
    auto* alarms = new QHBoxLayout;
    for (QLabel* label : supplyAlarms_) alarms->addWidget(label);
    alarms->addStretch();
    grid->addLayout(alarms, 4, 0, 1, ModuleCount);
    return group;
}

QWidget* MonitorDialog::buildButtons() {
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* comm = plainButton("Komunikacja", "commButton");
    connect(comm, &QPushButton::clicked, this, &MonitorDialog::openCommSettings);
    row->addWidget(comm);
    for (int module = 0; module < ModuleCount; ++module) {
        const QChar letter(moduleLetter(module));
        lineSetupButtons_[module] = plainButton(QString("Wejścia (%1)").arg(letter),
                                                QString("lineSetupButton%1").arg(letter));
        connect(lineSetupButtons_[module], &QPushButton::clicked, this,
                [this, module] { openLineSetup(module); });
        row->addWidget(lineSetupButtons_[module]);
    }
    auto* save = plainButton("Zapisz CFG\nna dysk", "saveConfigButton");
    auto* load = plainButton("Odczytaj CFG\nz dysku", "loadConfigButton");
    connect(save, &QPushButton::clicked, this, [this] { core_.saveConfigFile(); });
    connect(load, &QPushButton::clicked, this, &MonitorDialog::loadConfigFile);
    row->addSpacing(12);
    row->addWidget(save);
    row->addWidget(load);
    auto* chart = plainButton("Wykres", "chartButton");
    connect(chart, &QPushButton::clicked, this, &MonitorDialog::openChart);
    row->addSpacing(12);
    row->addWidget(chart);
    row->addStretch();
    start_ = plainButton("START", "startButton");
    stop_ = plainButton("STOP", "stopButton");
    stop_->setEnabled(false);
    for (QPushButton* button : {start_, stop_}) {
        button->setMinimumSize(96, 44);
        row->addWidget(button);
    }
    connect(start_, &QPushButton::clicked, this, [this] { core_.StartMonitoring(); });
    connect(stop_, &QPushButton::clicked, this, [this] { core_.StopMonitoring(); });
    return panel;
}

// --- MonitorView ------------------------------------------------------------------

void MonitorDialog::readFields(MonitorSettings& settings) {
    recording_->readFields(settings);
    settings.splitFile = splitFile_->isChecked() ? 1 : 0;
}

void MonitorDialog::showFields(const MonitorSettings& settings) {
    recording_->showFields(settings);
    splitFile_->setChecked(settings.splitFile != 0);
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

void MonitorDialog::showCountdown(int seconds) {
    recording_->showCountdown(seconds);
}

void MonitorDialog::showSavedCount(int count) {
    recording_->showSavedCount(count);
}

void MonitorDialog::showReadback(const OutputReadback& readback) {
    outputs_->showReadback(readback);
    showSupplyAlarms(supplyAlarms_, readback);
}

void MonitorDialog::showConnectionLost(bool visible) {
    recording_->showConnectionLost(visible);
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
    if (monitoring)
        acquisitionTimer_.start();
    else
        acquisitionTimer_.stop();
    start_->setEnabled(!monitoring);
    stop_->setEnabled(monitoring);
    splitFile_->setEnabled(!monitoring);
    readings_->enableClearButtons(monitoring);
}

// --- actions -------------------------------------------------------------------------

void MonitorDialog::openCommSettings() {
    CommSettingsDialog dialog(multimonCommShape(), core_.commSettings(), this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    core_.commSettingsClosed(accepted ? std::optional(dialog.settings()) : std::nullopt);
}

void MonitorDialog::openLineSetup(int module) {
    ModuleSlot& slot = core_.modules()[module];
    LineSetupDialog dialog(module, slot.busAddress, slot.channels, this);
    if (dialog.exec() != QDialog::Accepted) return;
    slot.channels = dialog.channels();
    core_.refreshModuleView();
}

void MonitorDialog::loadConfigFile() {
    if (const auto path = prompter_.chooseOpenFile(ConfigFileFilter)) core_.loadConfigFile(*path);
}

// The charts draw the readings the tick has just taken.
void MonitorDialog::acquisitionTick() {
    core_.AcquisitionTick();
    for (TrendWindow* chart : charts_)
        if (chart != nullptr && chart->isVisible()) chart->showReadings();
}

TrendWindow* MonitorDialog::openChart() {
    const int module = core_.selectedModule();
    TrendWindow*& chart = charts_[module];
    if (chart == nullptr)
        chart = new TrendWindow(QString("Wykres – Moduł %1").arg(QChar(moduleLetter(module))),
                                core_.trend(module), core_.modules()[module].channels, this);
    chart->show();
    chart->raise();
    chart->showReadings();
    return chart;
}

// --- keyboard and closing ----------------------------------------------------------

void MonitorDialog::keyPressEvent(QKeyEvent* event) {
    if (!swallowClosingKey(event)) QDialog::keyPressEvent(event);
}

void MonitorDialog::reject() {}

void MonitorDialog::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        acquisitionTimer_.stop();
        if (const std::size_t lost = core_.shutDown(); lost > 0)
            prompter_.message(lostRecordsText(lost), MessageIcon::Exclamation);
    }
    event->accept();
    QDialog::done(QDialog::Accepted);
}

}  // namespace dkq
