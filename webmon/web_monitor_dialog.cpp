#include "webmon/web_monitor_dialog.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

WebMonitorDialog::WebMonitorDialog(QWidget* parent)
    : QDialog(parent), core_(link_, *this, prompter_, clock_) {
    setWindowTitle("Monitor DKQ-1");
    setWindowIcon(programIcon(ProgramIcon::Webmon));
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    link_.PortSetupMessage = [this](const std::string& text) {
        prompter_.message(text, MessageIcon::Exclamation);
    };

    readings_ = new ReadingsPanel("CLR %1");
    connect(readings_, &ReadingsPanel::clearRequested, this,
            [this](int counter) { core_.RequestCounterClear(counter); });
    outputs_ = new OutputsPanel;
    connect(outputs_, &OutputsPanel::outputClicked, this,
            [this](int output, bool on) { core_.SetOutput(output, on); });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildRecording());
    auto* middle = new QVBoxLayout;
    middle->addWidget(buildModuleState());
    middle->addStretch();
    bottom->addLayout(middle);
    bottom->addWidget(outputs_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(readings_);
    layout->addLayout(bottom);
    layout->addWidget(buildButtons());

    addAboutAction(this, programIcon(ProgramIcon::Webmon),
                   {"Monitor DKQ-1", "wersja 1.7C", "Wersja 1-modułowa (20 linii wejściowych)",
                    QString("Data kompilacji: %1, %2").arg(__DATE__, __TIME__)});

    acquisitionTimer_.setInterval(TimerPeriodMs);
    connect(&acquisitionTimer_, &QTimer::timeout, this, &WebMonitorDialog::acquisitionTick);
}

void WebMonitorDialog::startUp(const std::vector<std::string>& commandWords) {
    core_.startUp(commandWords);
}

// --- building the window --------------------------------------------------------

QWidget* WebMonitorDialog::buildRecording() {
    uploading_ = new QLabel("Transmisja do serwera");
    uploading_->setObjectName("uploadingLabel");
    uploading_->setStyleSheet("color: #006000; font-weight: bold;");
    keepPlaceWhenHidden(uploading_);
    uploading_->setVisible(false);
    recording_ = new RecordingPanel(nullptr, uploading_);
    connect(recording_, &RecordingPanel::chooseFileClicked, this,
            [this] { core_.chooseCsvFile(); });
    return recording_;
}

QWidget* WebMonitorDialog::buildModuleState() {
    auto* group = new QGroupBox;
    auto* layout = new QVBoxLayout(group);
    errorCount_ = readOnlyField("errorCountField", 64);
    layout->addLayout(labelledRow("Liczba błędów komunikacji:", {errorCount_}));
    supplyAlarms_ = supplyAlarmLabels();
    auto* alarms = new QHBoxLayout;
    for (QLabel* label : supplyAlarms_) alarms->addWidget(label);
    alarms->addStretch();
    layout->addLayout(alarms);
    return group;
}

QWidget* WebMonitorDialog::buildButtons() {
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* comm = plainButton("Komunikacja", "commButton");
    connect(comm, &QPushButton::clicked, this, &WebMonitorDialog::openCommSettings);
    auto* lines = plainButton("Wejścia", "lineSetupButton");
    connect(lines, &QPushButton::clicked, this, &WebMonitorDialog::openLineSetup);
    auto* save = plainButton("Zapisz CFG", "saveConfigButton");
    auto* load = plainButton("Odczytaj CFG", "loadConfigButton");
    connect(save, &QPushButton::clicked, this, [this] { core_.saveConfigFile(); });
    connect(load, &QPushButton::clicked, this, &WebMonitorDialog::loadConfigFile);
    row->addWidget(comm);
    row->addWidget(lines);
    row->addSpacing(12);
    row->addWidget(save);
    row->addWidget(load);
    auto* chart = plainButton("Wykres", "chartButton");
    connect(chart, &QPushButton::clicked, this, &WebMonitorDialog::openChart);
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

// --- WebMonitorView -----------------------------------------------------------------

void WebMonitorDialog::readFields(WebMonitorSettings& settings) {
    recording_->readFields(settings);
}

void WebMonitorDialog::showFields(const WebMonitorSettings& settings) {
    recording_->showFields(settings);
}

void WebMonitorDialog::showModule(const ModuleSlot& slot) {
    recording_->showFirmware(slot.firmwareText);
    outputs_->showModeFlags(slot.modeFlags);
    readings_->showChannels(slot);
}

void WebMonitorDialog::showValues(const ModuleSlot& slot) {
    readings_->showValues(slot);
    setNumberField(errorCount_, slot.errorCount);
}

void WebMonitorDialog::showCountdown(int seconds) {
    recording_->showCountdown(seconds);
}

void WebMonitorDialog::showSavedCount(int count) {
    recording_->showSavedCount(count);
}

void WebMonitorDialog::showReadback(const OutputReadback& readback) {
    outputs_->showReadback(readback);
    showSupplyAlarms(supplyAlarms_, readback);
}

void WebMonitorDialog::showConnectionLost(bool visible) {
    recording_->showConnectionLost(visible);
}

void WebMonitorDialog::showUploading(bool visible) {
    uploading_->setVisible(visible);
}

void WebMonitorDialog::showMonitoring(bool monitoring) {
    if (monitoring)
        acquisitionTimer_.start();
    else
        acquisitionTimer_.stop();
    start_->setEnabled(!monitoring);
    stop_->setEnabled(monitoring);
    readings_->enableClearButtons(monitoring);
}

// --- actions -------------------------------------------------------------------------

void WebMonitorDialog::openCommSettings() {
    CommSettingsDialog dialog(webCommShape(), core_.commSettings(), this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    core_.commSettingsClosed(accepted ? std::optional(dialog.settings()) : std::nullopt);
}

void WebMonitorDialog::openLineSetup() {
    LineSetupDialog dialog("Ustawienia prezentacji wyników pomiarów", QString(),
                           core_.module().channels, this);
    if (dialog.exec() == QDialog::Accepted) core_.lineSetupClosed(dialog.channels());
}

void WebMonitorDialog::loadConfigFile() {
    if (const auto path = prompter_.chooseOpenFile(ConfigFileFilter)) core_.loadConfigFile(*path);
}

// The chart draws the reading the tick has just taken.
void WebMonitorDialog::acquisitionTick() {
    core_.AcquisitionTick();
    if (chart_ != nullptr && chart_->isVisible()) chart_->showReadings();
}

TrendWindow* WebMonitorDialog::openChart() {
    if (chart_ == nullptr)
        chart_ = new TrendWindow(QString(), core_.trend(), core_.module().channels, this);
    chart_->setWindowTitle(QString("Wykres – Moduł %1").arg(core_.settings().busAddress));
    chart_->show();
    chart_->raise();
    chart_->showReadings();
    return chart_;
}

// --- keyboard and closing ----------------------------------------------------------

void WebMonitorDialog::keyPressEvent(QKeyEvent* event) {
    if (!swallowClosingKey(event)) QDialog::keyPressEvent(event);
}

void WebMonitorDialog::reject() {}

void WebMonitorDialog::closeEvent(QCloseEvent* event) {
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
