// The recording block both monitor windows show: the firmware line, the CSV
// file name with its chooser, the record period, the countdown to the next
// record and the saved count, with a row of state labels under the block.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <array>
#include <string>

#include "widgets/form_fields.h"

class QLabel;
class QLayout;

namespace dkq {

class RecordingPanel : public QWidget {
    Q_OBJECT

  public:
    // fileOptions: a row under the file name (multimon's part split), or
    // nullptr; stateLabel: the label (or a row of them) beside "Brak połączenia TCP/IP!".
    RecordingPanel(QLayout* fileOptions, QWidget* stateLabel);

    // The period and file name fields to and from either monitor's settings.
    template <class Settings>
    void readFields(Settings& settings) const {
        settings.periodHours = fieldNumber(period_[0]);
        settings.periodMinutes = fieldNumber(period_[1]);
        settings.periodSeconds = fieldNumber(period_[2]);
        settings.fileName = fileName_->text().toStdString();
    }
    template <class Settings>
    void showFields(const Settings& settings) {
        setNumberField(period_[0], settings.periodHours);
        setNumberField(period_[1], settings.periodMinutes);
        setNumberField(period_[2], settings.periodSeconds);
        setFieldText(fileName_, QString::fromStdString(settings.fileName));
    }

    void showFirmware(const std::string& text);
    void showCountdown(int seconds);
    void showSavedCount(int count);
    void showConnectionLost(bool visible);

  signals:
    void chooseFileClicked();

  private:
    QLineEdit* firmware_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    std::array<QLineEdit*, 3> period_{};     // hours, minutes, seconds
    std::array<QLineEdit*, 3> countdown_{};  // hours, minutes, seconds
    QLineEdit* savedCount_ = nullptr;
    QLabel* connectionLost_ = nullptr;
};

}  // namespace dkq
