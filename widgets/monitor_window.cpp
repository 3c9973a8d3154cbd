#include "widgets/monitor_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

#include "monitor/csv_recorder.h"
#include "widgets/comm_settings_dialog.h"
#include "widgets/form_fields.h"
#include "widgets/readings_panel.h"
#include "widgets/recording_panel.h"
#include "widgets/trend_window.h"

namespace dkq {
namespace {

constexpr int TimerPeriodMs = 1000;
constexpr int ExposeWaitMs = 2000;
constexpr const char* ConfigFileFilter = "Pliki konfiguracji (*.CFG)|*.cfg||";

}  // namespace

MonitorWindow::MonitorWindow(const QString& title, const QIcon& icon, const QString& clearLabel,
                             MessageIcon portSetupIcon, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(title);
    setWindowIcon(icon);
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    link_.PortSetupMessage = [this, portSetupIcon](const std::string& text) {
        prompter_.message(text, portSetupIcon);
    };
    readings_ = new ReadingsPanel(clearLabel);
    outputs_ = new OutputsPanel;
    supplyAlarms_ = supplyAlarmLabels();
    acquisitionTimer_.setInterval(TimerPeriodMs);
    connect(&acquisitionTimer_, &QTimer::timeout, this, &MonitorWindow::acquisitionTick);
}

void MonitorWindow::run(const std::vector<std::string>& commandWords,
                        const std::function<void()>& started) {
    showPainted();
    startUp(commandWords);
    if (closed_) return;  // closed by a signal while the start-up asked
    if (started) started();
    exec();
}

// A window system maps a window some time after show(): its first picture
// is painted once it is exposed, before anything holds up the event loop.
void MonitorWindow::showPainted() {
    show();
    QElapsedTimer waited;
    waited.start();
    while (!closed_ && windowHandle() != nullptr && !windowHandle()->isExposed() &&
           waited.elapsed() < ExposeWaitMs) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    QCoreApplication::processEvents();
}

void MonitorWindow::assemble(MonitorCommands& core, const CommDialogShape& commShape,
                             const MonitorWindowParts& parts) {
    core_ = &core;
    commShape_ = &commShape;
    connect(readings_, &ReadingsPanel::clearRequested, this,
            [this](int counter) { core_->RequestCounterClear(counter); });
    connect(outputs_, &OutputsPanel::outputClicked, this,
            [this](int output, bool on) { core_->SetOutput(output, on); });
    recording_ = new RecordingPanel(parts.fileOptions, parts.stateLabel);
    connect(recording_, &RecordingPanel::chooseFileClicked, this,
            [this] { core_->chooseCsvFile(); });

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(recording_);
    auto* middle = new QVBoxLayout;
    middle->addWidget(parts.moduleBlock);
    middle->addStretch();
    bottom->addLayout(middle);
    bottom->addWidget(outputs_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(readings_, 1);
    layout->addLayout(bottom);
    layout->addWidget(buildButtons(parts));
}

QWidget* MonitorWindow::buildButtons(const MonitorWindowParts& parts) {
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* comm = plainButton("Komunikacja", "commButton");
    connect(comm, &QPushButton::clicked, this, &MonitorWindow::openCommSettings);
    row->addWidget(comm);
    for (QPushButton* button : parts.lineSetupButtons) row->addWidget(button);
    auto* save = plainButton(parts.saveConfigText, "saveConfigButton");
    auto* load = plainButton(parts.loadConfigText, "loadConfigButton");
    connect(save, &QPushButton::clicked, this, [this] { core_->saveConfigFile(); });
    connect(load, &QPushButton::clicked, this, &MonitorWindow::loadConfigFile);
    row->addSpacing(12);
    row->addWidget(save);
    row->addWidget(load);
    auto* chart = plainButton("Wykres", "chartButton");
    connect(chart, &QPushButton::clicked, this, &MonitorWindow::openChart);
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
    connect(start_, &QPushButton::clicked, this, [this] { core_->StartMonitoring(); });
    connect(stop_, &QPushButton::clicked, this, [this] { core_->StopMonitoring(); });
    return panel;
}

QHBoxLayout* MonitorWindow::supplyAlarmRow() {
    auto* row = new QHBoxLayout;
    for (QLabel* label : supplyAlarms_) row->addWidget(label);
    row->addStretch();
    return row;
}

// --- RecordingView -------------------------------------------------------------------

void MonitorWindow::showCountdown(int seconds) {
    recording_->showCountdown(seconds);
}

void MonitorWindow::showSavedCount(int count) {
    recording_->showSavedCount(count);
}

void MonitorWindow::showReadback(const OutputReadback& readback) {
    outputs_->showReadback(readback);
    showSupplyAlarms(supplyAlarms_, readback);
}

void MonitorWindow::showConnectionLost(bool visible) {
    recording_->showConnectionLost(visible);
}

void MonitorWindow::showMonitoring(bool monitoring) {
    if (monitoring)
        acquisitionTimer_.start();
    else
        acquisitionTimer_.stop();
    start_->setEnabled(!monitoring);
    stop_->setEnabled(monitoring);
    readings_->enableClearButtons(monitoring);
}

// --- actions -------------------------------------------------------------------------

void MonitorWindow::openCommSettings() {
    CommSettingsDialog dialog(*commShape_, core_->commSettings(), this);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    core_->commSettingsClosed(accepted ? std::optional(dialog.settings()) : std::nullopt);
}

void MonitorWindow::loadConfigFile() {
    if (const auto path = prompter_.chooseOpenFile(ConfigFileFilter)) core_->loadConfigFile(*path);
}

// The charts draw the readings the tick has just taken.
void MonitorWindow::acquisitionTick() {
    core_->AcquisitionTick();
    for (TrendWindow* chart : charts_)
        if (chart != nullptr && chart->isVisible()) chart->showReadings();
}

TrendWindow* MonitorWindow::showChart(std::size_t module, const QString& moduleName,
                                      const TrendBuffer& trend, const ChannelTable& channels) {
    if (charts_.size() <= module) charts_.resize(module + 1, nullptr);
    TrendWindow*& chart = charts_[module];
    if (chart == nullptr) chart = new TrendWindow(moduleName, trend, channels, this);
    chart->showModuleName(moduleName);
    chart->show();
    chart->raise();
    chart->showReadings();
    return chart;
}

// --- keyboard and closing ----------------------------------------------------------

void MonitorWindow::keyPressEvent(QKeyEvent* event) {
    if (!swallowClosingKey(event)) QDialog::keyPressEvent(event);
}

void MonitorWindow::reject() {}

void MonitorWindow::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        acquisitionTimer_.stop();
        if (const std::size_t lost = core_->shutDown(); lost > 0)
            prompter_.message(lostRecordsText(lost), MessageIcon::Exclamation);
    }
    event->accept();
    QDialog::done(QDialog::Accepted);
}

}  // namespace dkq
