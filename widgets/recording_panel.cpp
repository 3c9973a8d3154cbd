#include "widgets/recording_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "monitor/settings_fields.h"

namespace dkq {

RecordingPanel::RecordingPanel(QLayout* fileOptions, QWidget* stateLabel) {
    firmware_ = readOnlyField("firmwareField", 260);
    fileName_ = new QLineEdit;
    fileName_->setObjectName("fileNameField");
    fileName_->setMaxLength(static_cast<int>(MaxFileNameChars));
    fileName_->setMinimumWidth(200);
    auto* chooseFile = plainButton("...", "chooseFileButton");
    chooseFile->setFixedWidth(32);
    connect(chooseFile, &QPushButton::clicked, this, &RecordingPanel::chooseFileClicked);
    const std::array<int, 3> periodTops = {MaxPeriodHours, 59, 59};
    constexpr std::array fieldNames = {"Hours", "Minutes", "Seconds"};
    for (std::size_t i = 0; i < period_.size(); ++i) {
        period_[i] = numberField(QString("period%1Field").arg(fieldNames[i]), periodTops[i]);
        countdown_[i] =
            readOnlyField(QString("countdown%1Field").arg(fieldNames[i]), period_[i]->width());
    }
    savedCount_ = readOnlyField("savedCountField", 80);
    connectionLost_ = alarmLabel("Brak połączenia TCP/IP!", "connectionLostLabel");

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(labelledRow("Firmware :", {firmware_}));
    auto* recording = new QGroupBox;
    auto* fields = new QVBoxLayout(recording);
    fields->addLayout(labelledRow("Zapis do pliku :", {fileName_, chooseFile}));
    if (fileOptions) fields->addLayout(fileOptions);
    auto* times = new QGridLayout;
    addTimeRow(times, 0, "Okres zapisu pomiarów:", period_);
    addTimeRow(times, 1, "Czas do następnego zapisu:", countdown_);
    fields->addLayout(times);
    fields->addLayout(labelledRow("Liczba zapisanych pomiarów:", {savedCount_}));
    layout->addWidget(recording);
    auto* labels = new QHBoxLayout;
    labels->addWidget(connectionLost_);
    // A long state text takes the room there is (cut short, not wrapped) and
    // never widens the window past the screen.
    stateLabel->setMinimumWidth(1);
    labels->addWidget(stateLabel);
    labels->addStretch();
    layout->addLayout(labels);
    layout->addStretch();
}

void RecordingPanel::showFirmware(const std::string& text) {
    setFieldText(firmware_, QString::fromStdString(text));
}

void RecordingPanel::showCountdown(int seconds) {
    showTime(countdown_, seconds);
}

void RecordingPanel::showSavedCount(int count) {
    setNumberField(savedCount_, count);
}

void RecordingPanel::showConnectionLost(bool visible) {
    connectionLost_->setVisible(visible);
}

}  // namespace dkq
