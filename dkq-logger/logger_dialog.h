// "DKQ-Logger", the record memory reader's window. It owns the link and the
// core for the whole run, moves its fields into the core, forwards clicks,
// renders what the core tells, and drives a download from a 1 ms timer one
// batch at a time so that it keeps repainting and can be closed meanwhile.
#pragma once

#include <QDialog>
#include <QTimer>

#include "common/clock.h"
#include "dkq-logger/logger_core.h"
#include "link/module_link.h"
#include "widgets/qt_prompter.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace dkq {

class LoggerDialog : public QDialog {
    Q_OBJECT

  public:
    explicit LoggerDialog(QWidget* parent = nullptr);

    // The registry values and the line table; the fields shown.
    void startUp();

    LoggerCore& core() { return core_; }
    // The close command has run (settings saved, the module told "*EOT!").
    bool closed() const { return closed_; }

    // Esc does not close the window.
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* buildConnection();
    QWidget* buildStatus();
    QWidget* buildDownload();
    QWidget* buildButtons();
    QLineEdit* statusField(const QString& name);
    QPushButton* button(const QString& text, const QString& name, void (LoggerDialog::*handler)());

    void showFields(const LoggerFields& fields);
    // The fields with the edit fields checked; none when one was refused.
    std::optional<LoggerFields> takeFields();
    FieldTexts typedTexts() const;
    LoggerFields takeCheckBoxes() const;
    void render();

    void onConnect();
    void onReadStatus();
    void onDownload();
    void onDownloadTimer();
    void onClear();
    void onSetClock();
    void onChangeSettings();
    void onEndWork();

    ModuleLink link_;
    QtPrompter prompter_{this};
    SystemClock clock_;
    LoggerCore core_{link_, prompter_, clock_};
    QTimer downloadTimer_;
    bool closed_ = false;

    QLineEdit* comPort_ = nullptr;
    QLineEdit* speed_ = nullptr;
    QCheckBox* useTcp_ = nullptr;
    QLineEdit* ipAddress_ = nullptr;
    QLineEdit* tcpPort_ = nullptr;
    QPushButton* connect_ = nullptr;
    QLabel* connected_ = nullptr;

    QLineEdit* version_ = nullptr;
    QLineEdit* memorySize_ = nullptr;
    QLineEdit* recordCount_ = nullptr;
    QLineEdit* maxRecords_ = nullptr;
    QLineEdit* recordLength_ = nullptr;
    QLineEdit* occupancy_ = nullptr;
    QLineEdit* period_ = nullptr;
    QCheckBox* loggingOn_ = nullptr;
    QCheckBox* cyclicBuffer_ = nullptr;
    QLineEdit* capacity_ = nullptr;
    QLineEdit* moduleClock_ = nullptr;
    QLineEdit* downloadTime_ = nullptr;

    QCheckBox* temperatures_ = nullptr;
    QCheckBox* splitFiles_ = nullptr;
    QCheckBox* writeInvalid_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* recordNumberLabel_ = nullptr;
    QLineEdit* recordNumber_ = nullptr;

    QPushButton* statusButton_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QPushButton* settingsButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* clockButton_ = nullptr;
};

}  // namespace dkq
