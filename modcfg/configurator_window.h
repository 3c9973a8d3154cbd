// "Konfiguracja DKQ-1": the configurator's main window and the whole program.
// It owns the program core (link and image) and the editing windows for the
// whole run, moves its fields into the core's variables and back, and
// switches its connection controls.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "config/config_transfer.h"
#include "modcfg/configurator_core.h"
#include "modcfg/image_dialogs.h"
#include "widgets/qt_prompter.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace dkq {

class ConfiguratorWindow : public QDialog, private TransferProgress {
    Q_OBJECT

  public:
    explicit ConfiguratorWindow(QWidget* parent = nullptr);

    ConfiguratorCore& core() { return core_; }
    // The end of the initialisation: default.dkq, whose message may wait for
    // an answer (a signal meanwhile closes the window).
    void startUp();
    bool closed() const { return closed_; }

    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    struct LiveColumn {
        QProgressBar* bar = nullptr;
        QLineEdit* volts = nullptr;
        QLineEdit* degrees = nullptr;
    };

    void setRange(int maximum) override;
    void setPosition(int position) override;

    QGroupBox* buildConnection();
    QLayout* buildConfigButtons();
    QGroupBox* buildLive();
    QGroupBox* buildRegisters();
    QPushButton* button(const QString& text, const QString& name,
                        void (ConfiguratorWindow::*slot)());

    void takeFields();
    void showFields();
    void applyTcpBox();
    // "Port COM otwarty" and "Rozłącz port COM", or their TCP/IP texts.
    void showTransportTexts(bool tcp);
    void showLinkOpen();
    void showConnected();
    void showDisconnected();
    // Runs an action that may open the link through Connect.
    void runConnecting(const std::function<void()>& action);

    void connectClicked();
    void disconnectClicked();
    void readConfig();
    void writeConfig();
    void loadFile();
    void saveFile();
    void liveReading();
    void diagnostics();
    void lcdTest();
    void editIn(QDialog& dialog);

    QtPrompter prompter_{this};
    ConfiguratorCore core_{prompter_, *this};
    MainFields fields_;
    bool closed_ = false;

    QLineEdit* comPort_ = nullptr;
    QLineEdit* speed_ = nullptr;
    QLineEdit* busAddress_ = nullptr;
    QCheckBox* useTcp_ = nullptr;
    QLineEdit* ipAddress_ = nullptr;
    QLineEdit* tcpPort_ = nullptr;
    QCheckBox* echo_ = nullptr;
    QPushButton* connect_ = nullptr;
    QPushButton* disconnect_ = nullptr;
    QLabel* portOpen_ = nullptr;
    QProgressBar* progress_ = nullptr;
    std::array<LiveColumn, 4> live_{};
    QLineEdit* configRegister_ = nullptr;
    QLineEdit* configValue_ = nullptr;
    QLineEdit* inputRegister_ = nullptr;
    QLineEdit* inputValue_ = nullptr;
    QLineEdit* outputRegister_ = nullptr;
    QLineEdit* outputValue_ = nullptr;
    QLineEdit* displayText_ = nullptr;

    GeneralDialog general_{core_.image(), this};
    CalibrationDialog calibration_{core_.image(), this};
    std::array<OutputRulesDialog, 3> rules_{OutputRulesDialog{core_.image(), 1, this},
                                            OutputRulesDialog{core_.image(), 5, this},
                                            OutputRulesDialog{core_.image(), 9, this}};
    PwmDialog pwm_{core_.image(), this};
};

}  // namespace dkq
