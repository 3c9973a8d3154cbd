#include "multimon/comm_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dkq {

CommSettingsDialog::CommSettingsDialog(const CommSettings& comm, QWidget* parent)
    : QDialog(parent), comm_(comm) {
    setWindowTitle("Ustawienia komunikacji");
    auto* form = new QFormLayout;
    comPort_ = addField(form, "Numer portu COM", "comPortField");
    speed_ = addField(form, "Prędkość transmisji", "speedField", "bps");
    useTcp_ = new QCheckBox("Połączenie przez sieć (TCP/IP)");
    useTcp_->setObjectName("useTcpBox");
    form->addRow(useTcp_);
    ipAddress_ = addField(form, "Adres IP", "ipAddressField");
    tcpPort_ = addField(form, "Nr portu TCP", "tcpPortField");
    for (int module = 0; module < ModuleCount; ++module) {
        const QChar letter(moduleLetter(module));
        busAddresses_[module] = addField(form, QString("Adres modułu %1").arg(letter),
                                         QString("busAddressField%1").arg(letter),
                                         module == 1 ? "(0 = moduł wyłączony)" : QString());
    }
    testOuts_ = new QCheckBox("Pomiary linii wyjściowych");
    testOuts_->setObjectName("testOutsBox");
    form->addRow(testOuts_);
    connect(useTcp_, &QCheckBox::clicked, this, &CommSettingsDialog::enableByConnection);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("okButton");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cancelButton");
    buttons->button(QDialogButtonBox::Cancel)->setText("Anuluj");
    connect(buttons, &QDialogButtonBox::accepted, this, &CommSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CommSettingsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    showFields(commFields(comm_));
}

QLineEdit* CommSettingsDialog::addField(QFormLayout* form, const QString& label,
                                        const QString& objectName, const QString& unit) {
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    edit->setFixedWidth(120);
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    if (!unit.isEmpty()) row->addWidget(new QLabel(unit));
    row->addStretch();
    form->addRow(label, row);
    return edit;
}

void CommSettingsDialog::showFields(const CommFields& fields) {
    comPort_->setText(QString::fromStdString(fields.comPort));
    speed_->setText(QString::fromStdString(fields.speed));
    useTcp_->setChecked(fields.useTcp);
    ipAddress_->setText(QString::fromStdString(fields.ipAddress));
    tcpPort_->setText(QString::fromStdString(fields.tcpPort));
    for (int module = 0; module < ModuleCount; ++module)
        busAddresses_[module]->setText(QString::fromStdString(fields.busAddresses[module]));
    testOuts_->setChecked(fields.testOuts);
    enableByConnection();
}

CommFields CommSettingsDialog::takeFields() const {
    CommFields fields;
    fields.comPort = comPort_->text().toStdString();
    fields.speed = speed_->text().toStdString();
    fields.useTcp = useTcp_->isChecked();
    fields.ipAddress = ipAddress_->text().toStdString();
    fields.tcpPort = tcpPort_->text().toStdString();
    for (int module = 0; module < ModuleCount; ++module)
        fields.busAddresses[module] = busAddresses_[module]->text().toStdString();
    fields.testOuts = testOuts_->isChecked();
    return fields;
}

void CommSettingsDialog::enableByConnection() {
    const bool tcp = useTcp_->isChecked();
    comPort_->setEnabled(!tcp);
    speed_->setEnabled(!tcp);
    ipAddress_->setEnabled(tcp);
    tcpPort_->setEnabled(tcp);
}

QLineEdit* CommSettingsDialog::fieldEdit(int field) const {
    switch (field) {
        case ComPortField:
            return comPort_;
        case SpeedField:
            return speed_;
        case IpAddressField:
            return ipAddress_;
        case TcpPortField:
            return tcpPort_;
        default:
            return busAddresses_[field - FirstBusAddressField];
    }
}

void CommSettingsDialog::accept() {
    if (const auto problem = readCommFields(takeFields(), comm_)) {
        refuseField(prompter_, problem->prompt, fieldEdit(problem->field));
        return;
    }
    QDialog::accept();
}

}  // namespace dkq
