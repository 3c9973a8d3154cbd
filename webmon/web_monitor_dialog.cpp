#include "webmon/web_monitor_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "resources/program_icons.h"
#include "widgets/about_box.h"
#include "widgets/form_fields.h"
#include "widgets/line_setup_dialog.h"
#include "widgets/readings_panel.h"
#include "widgets/recording_panel.h"
#include "widgets/trend_window.h"

namespace dkq {

WebMonitorDialog::WebMonitorDialog(QWidget* parent)
    : MonitorWindow("Monitor DKQ-1", programIcon(ProgramIcon::Webmon), "CLR %1",
                    MessageIcon::Exclamation, parent),
      core_(link_, *this, prompter_, clock_) {
    MonitorWindowParts parts{
        nullptr,      buildUploadLabels(), buildModuleState(), {buildLineSetupButton()},
        "Zapisz CFG", "Odczytaj CFG"};
    assemble(core_, webCommShape(), parts);
    addAboutAction(this, programIcon(ProgramIcon::Webmon),
                   {"Monitor DKQ-1", "wersja 1.7C", "Wersja 1-modułowa (20 linii wejściowych)",
                    QString("Data kompilacji: %1, %2").arg(DKQ_BUILD_DATE, DKQ_BUILD_TIME)});
}

void WebMonitorDialog::startUp(const std::vector<std::string>& commandWords) {
    core_.startUp(commandWords);
}

// --- building the window --------------------------------------------------------

// "Transmisja do serwera" and, with BUFFER=1, why the last request failed.
QWidget* WebMonitorDialog::buildUploadLabels() {
    uploading_ = new QLabel("Transmisja do serwera");
    uploading_->setObjectName("uploadingLabel");
    uploading_->setStyleSheet("color: #006000; font-weight: bold;");
    keepPlaceWhenHidden(uploading_);
    uploading_->setVisible(false);
    uploadFailure_ = alarmLabel("", "uploadFailureLabel");
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(uploading_);
    layout->addWidget(uploadFailure_);
    return row;
}

QWidget* WebMonitorDialog::buildModuleState() {
    auto* group = new QGroupBox;
    auto* layout = new QVBoxLayout(group);
    errorCount_ = readOnlyField("errorCountField", 64);
    layout->addLayout(labelledRow("Liczba błędów komunikacji:", {errorCount_}));
    layout->addLayout(supplyAlarmRow());
    waiting_ = new QLabel;
    waiting_->setObjectName("waitingLabel");
    waiting_->setVisible(false);
    layout->addWidget(waiting_);
    return group;
}

QPushButton* WebMonitorDialog::buildLineSetupButton() {
    auto* lines = plainButton("Wejścia", "lineSetupButton");
    connect(lines, &QPushButton::clicked, this, &WebMonitorDialog::openLineSetup);
    return lines;
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

void WebMonitorDialog::showUploading(bool visible) {
    uploading_->setVisible(visible);
}

void WebMonitorDialog::showUploadState(const UploadState& state) {
    waiting_->setText(QString("Oczekuje na wysłanie: %1").arg(state.waiting));
    waiting_->setVisible(true);
    uploadFailure_->setText(QString::fromStdString("Błąd wysyłania: " + state.failure));
    uploadFailure_->setVisible(!state.failure.empty());
}

// --- actions -------------------------------------------------------------------------

void WebMonitorDialog::openLineSetup() {
    LineSetupDialog dialog("Ustawienia prezentacji wyników pomiarów", QString(),
                           core_.module().channels, this);
    if (dialog.exec() == QDialog::Accepted) core_.lineSetupClosed(dialog.channels());
}

TrendWindow* WebMonitorDialog::openChart() {
    return showChart(0, QString("Moduł %1").arg(core_.settings().busAddress), core_.trend(),
                     core_.module().channels);
}

}  // namespace dkq
