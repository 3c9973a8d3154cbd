#include "widgets/comm_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/setting_values.h"
#include "widgets/serial_device_picker.h"

namespace dkq {
namespace {

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

CommSettingsDialog::CommSettingsDialog(const CommDialogShape& shape, const CommSettings& comm,
                                       QWidget* parent)
    : QDialog(parent), shape_(shape), comm_(comm) {
    setWindowTitle(qt(shape.title));
    auto* form = new QFormLayout;
    comPort_ = newField("comPortField");
    addFieldRow(form, "Numer portu COM",
                {comPort_, new SerialDevicePicker(comPort_, ComPortRange.high)});
    speed_ = addField(form, qt(shape.speedLabel), "speedField", "bps");
    useTcp_ = addBox(form, "Połączenie przez sieć (TCP/IP)", "useTcpBox");
    ipAddress_ = addField(form, "Adres IP", "ipAddressField");
    tcpPort_ = addField(form, qt(shape.tcpPortLabel), "tcpPortField");
    for (const BusAddressField& field : shape.busAddresses)
        busAddresses_.push_back(
            addField(form, qt(field.label), qt(field.objectName), qt(field.note)));
    testOuts_ = addBox(form, "Pomiary linii wyjściowych", "testOutsBox");
    if (shape.disconnectBox) disconnect_ = addBox(form, "Rozłączaj po transmisji", "disconnectBox");
    if (shape.echoBox) {
        echo_ = addBox(form, "Echo transmit. znaków   ", "echoBox");
        echo_->setEnabled(false);
        echo_->setVisible(false);
    }
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

QLineEdit* CommSettingsDialog::newField(const QString& objectName) {
    auto* edit = new QLineEdit;
    edit->setObjectName(objectName);
    edit->setFixedWidth(120);
    return edit;
}

void CommSettingsDialog::addFieldRow(QFormLayout* form, const QString& label,
                                     std::initializer_list<QWidget*> widgets, const QString& unit) {
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets) row->addWidget(widget);
    if (!unit.isEmpty()) row->addWidget(new QLabel(unit));
    row->addStretch();
    form->addRow(label, row);
}

QLineEdit* CommSettingsDialog::addField(QFormLayout* form, const QString& label,
                                        const QString& objectName, const QString& unit) {
    QLineEdit* edit = newField(objectName);
    addFieldRow(form, label, {edit}, unit);
    return edit;
}

QCheckBox* CommSettingsDialog::addBox(QFormLayout* form, const QString& text,
                                      const QString& objectName) {
    auto* box = new QCheckBox(text);
    box->setObjectName(objectName);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);  // as wide as its text
    form->addRow(box);
    return box;
}

void CommSettingsDialog::showFields(const CommFields& fields) {
    comPort_->setText(qt(fields.comPort));
    speed_->setText(qt(fields.speed));
    useTcp_->setChecked(fields.useTcp);
    ipAddress_->setText(qt(fields.ipAddress));
    tcpPort_->setText(qt(fields.tcpPort));
    for (std::size_t i = 0; i < busAddresses_.size() && i < fields.busAddresses.size(); ++i)
        busAddresses_[i]->setText(qt(fields.busAddresses[i]));
    testOuts_->setChecked(fields.testOuts);
    if (disconnect_ != nullptr) disconnect_->setChecked(fields.disconnectAfterReading);
    if (echo_ != nullptr) echo_->setChecked(fields.echo);
    enableByConnection();
}

CommFields CommSettingsDialog::takeFields() const {
    CommFields fields;
    fields.comPort = comPort_->text().toStdString();
    fields.speed = speed_->text().toStdString();
    fields.useTcp = useTcp_->isChecked();
    fields.ipAddress = ipAddress_->text().toStdString();
    fields.tcpPort = tcpPort_->text().toStdString();
    for (const QLineEdit* edit : busAddresses_)
        fields.busAddresses.push_back(edit->text().toStdString());
    fields.testOuts = testOuts_->isChecked();
    fields.disconnectAfterReading = disconnect_ != nullptr && disconnect_->isChecked();
    fields.echo = echo_ != nullptr && echo_->isChecked();
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
            return busAddresses_[static_cast<std::size_t>(field - FirstBusAddressField)];
    }
}

void CommSettingsDialog::accept() {
    if (const auto problem = readCommFields(takeFields(), shape_, comm_)) {
        refuseField(prompter_, problem->prompt, fieldEdit(problem->field));
        return;
    }
    QDialog::accept();
}

}  // namespace dkq
