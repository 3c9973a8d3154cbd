#include "widgets/serial_device_picker.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QLineEdit>

namespace dkq {
namespace {

// The first entry stands for a number that opens none of the devices.
constexpr int NoDevice = 0;
// The field shows the start of an entry; the list opens wide enough for whole lines.
constexpr int ShownCharacters = 16;

// The node and what tells adapters apart: udev's stable name, else the USB
// id and the driver.
QString deviceLabel(const SerialDevice& device) {
    const auto slash = device.byId.rfind('/');
    const std::string usbId = device.usbId.empty() ? "" : device.usbId + ' ';
    const std::string detail =
        device.byId.empty() ? usbId + device.driver : device.byId.substr(slash + 1);
    return QString::fromStdString(device.device + "  " + detail);
}

}  // namespace

SerialDevicePicker::SerialDevicePicker(QLineEdit* comField, int highestComPort,
                                       const SerialRoots& roots, QWidget* parent)
    : QComboBox(parent),
      comField_(comField),
      highestComPort_(highestComPort),
      devFolder_(roots.dev),
      devices_(listSerialDevices(roots)) {
    setObjectName("serialDevicePicker");
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(ShownCharacters);
    addItem(devices_.empty() ? "(brak portów szeregowych)" : "(wybierz urządzenie)");
    for (const SerialDevice& device : devices_) addItem(deviceLabel(device));
    view()->setMinimumWidth(view()->sizeHintForColumn(0));
    setEnabled(comField->isEnabled());
    comField->installEventFilter(this);
    connect(comField, &QLineEdit::textChanged, this, &SerialDevicePicker::showDeviceOf);
    connect(this, &QComboBox::activated, this, &SerialDevicePicker::pick);
    showDeviceOf(comField->text());
}

bool SerialDevicePicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched == comField_ && event->type() == QEvent::EnabledChange)
        setEnabled(comField_->isEnabled());
    return QComboBox::eventFilter(watched, event);
}

void SerialDevicePicker::showDeviceOf(const QString& comPortText) {
    const int comPort = comPortText.toInt();
    int shown = NoDevice;
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (comPort != 0 && devices_[i].comPort == comPort) shown = static_cast<int>(i) + 1;
    setCurrentIndex(shown);
}

void SerialDevicePicker::pick(int index) {
    if (index == NoDevice) return;
    SerialDevice& device = devices_[static_cast<std::size_t>(index - 1)];
    if (mapFreeComPort(device, devices_, highestComPort_, devFolder_) == 0) {
        showDeviceOf(comField_->text());
        return;
    }
    comField_->setText(QString::number(device.comPort));
}

}  // namespace dkq
