// The serial devices of this machine beside a COM port number field, so the
// user can pick the adapter instead of guessing its number. Picking one puts
// the number that opens it into the field; a device no number opens yet is
// first given a free one in the Ports mapping. Typing a number shows the
// device it opens. Enabled while the field is.
#pragma once

#include <QComboBox>
#include <vector>

#include "settings/serial_devices.h"

class QLineEdit;

namespace dkq {

class SerialDevicePicker : public QComboBox {
    Q_OBJECT

  public:
    // highestComPort: the field's own upper bound.
    SerialDevicePicker(QLineEdit* comField, int highestComPort, const SerialRoots& roots = {},
                       QWidget* parent = nullptr);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showDeviceOf(const QString& comPortText);
    void pick(int index);

    QLineEdit* comField_;
    int highestComPort_;
    std::string devFolder_;
    std::vector<SerialDevice> devices_;
};

}  // namespace dkq
