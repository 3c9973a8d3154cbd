// "Ustawienia komunikacji": serial port or TCP server, the bus addresses of
// modules A..E and "Pomiary linii wyjściowych". Works on a copy; settings()
// holds the checked values once the dialog was accepted.
#pragma once

#include <QDialog>
#include <array>

#include "multimon/comm_settings.h"
#include "widgets/qt_prompter.h"

class QCheckBox;
class QFormLayout;
class QLineEdit;

namespace dkq {

class CommSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CommSettingsDialog(const CommSettings& comm, QWidget* parent = nullptr);

    const CommSettings& settings() const { return comm_; }

    void accept() override;

  private:
    QLineEdit* addField(QFormLayout* form, const QString& label, const QString& objectName,
                        const QString& unit = QString());
    void showFields(const CommFields& fields);
    CommFields takeFields() const;
    // COM port and speed serve the serial link, address and port the TCP one.
    void enableByConnection();
    QLineEdit* fieldEdit(int field) const;

    CommSettings comm_;
    QLineEdit* comPort_ = nullptr;
    QLineEdit* speed_ = nullptr;
    QCheckBox* useTcp_ = nullptr;
    QLineEdit* ipAddress_ = nullptr;
    QLineEdit* tcpPort_ = nullptr;
    std::array<QLineEdit*, ModuleCount> busAddresses_{};
    QCheckBox* testOuts_ = nullptr;
    QtPrompter prompter_{this};
};

}  // namespace dkq
