// The communication settings dialog of the monitors: serial port or TCP
// server, the bus addresses the program's shape names, "Pomiary linii
// wyjściowych" and the boxes the shape adds. Works on a copy; settings()
// holds the checked values once the dialog was accepted.
#pragma once

#include <QDialog>
#include <initializer_list>
#include <vector>

#include "monitor/comm_settings.h"
#include "widgets/qt_prompter.h"

class QCheckBox;
class QFormLayout;
class QLineEdit;

namespace dkq {

class CommSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    CommSettingsDialog(const CommDialogShape& shape, const CommSettings& comm,
                       QWidget* parent = nullptr);

    const CommSettings& settings() const { return comm_; }

    void accept() override;

  private:
    QLineEdit* newField(const QString& objectName);
    void addFieldRow(QFormLayout* form, const QString& label,
                     std::initializer_list<QWidget*> widgets, const QString& unit = QString());
    QLineEdit* addField(QFormLayout* form, const QString& label, const QString& objectName,
                        const QString& unit = QString());
    QCheckBox* addBox(QFormLayout* form, const QString& text, const QString& objectName);
    void showFields(const CommFields& fields);
    CommFields takeFields() const;
    // COM port and speed serve the serial link, address and port the TCP one.
    void enableByConnection();
    QLineEdit* fieldEdit(int field) const;

    const CommDialogShape& shape_;
    CommSettings comm_;
    QLineEdit* comPort_ = nullptr;
    QLineEdit* speed_ = nullptr;
    QCheckBox* useTcp_ = nullptr;
    QLineEdit* ipAddress_ = nullptr;
    QLineEdit* tcpPort_ = nullptr;
    std::vector<QLineEdit*> busAddresses_;
    QCheckBox* testOuts_ = nullptr;
    QCheckBox* disconnect_ = nullptr;  // only when the shape has it
    QCheckBox* echo_ = nullptr;        // only when the shape has it; hidden
    QtPrompter prompter_{this};
};

}  // namespace dkq
