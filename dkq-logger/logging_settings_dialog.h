// "Ustawienia logowania": whether and how often the module logs, its buffer
// mode and which of items 1-39 go into each record. Works on a copy;
// settings() holds the choice once "Wprowadź" accepted it.
#pragma once

#include <QDialog>
#include <array>

#include "logger/logger_session.h"
#include "widgets/qt_prompter.h"

class QCheckBox;
class QLineEdit;

namespace dkq {

class LoggingSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int ItemBoxes = logger::LoggedItemCount - 1;  // item 40 has none

    LoggingSettingsDialog(const logger::LoggingSettings& settings, QWidget* parent = nullptr);

    const logger::LoggingSettings& settings() const { return settings_; }

    void accept() override;

  private:
    QWidget* buildItems();

    logger::LoggingSettings settings_;
    QCheckBox* loggingOn_ = nullptr;
    QCheckBox* cyclicBuffer_ = nullptr;
    QLineEdit* period_ = nullptr;
    std::array<QCheckBox*, ItemBoxes> items_{};
    QtPrompter prompter_{this};
};

}  // namespace dkq
