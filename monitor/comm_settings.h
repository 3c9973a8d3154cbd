// The values of the monitors' communication settings dialog: the link, the
// bus addresses and the reading switches. The dialog works on a copy and the
// live settings change only on OK. Each program gives its dialog's shape:
// title, labels, which bus addresses it edits and which boxes it shows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "forms/field_reader.h"
#include "settings/link_settings.h"

namespace dkq {

struct BusAddressField {
    std::string label;
    std::string objectName;
    int min = 1;  // 0: the module may be switched off
    std::string note;
};

struct CommDialogShape {
    std::string title;
    std::string speedLabel;
    std::string tcpPortLabel;
    std::size_t maxIpAddressChars = 20;
    std::vector<BusAddressField> busAddresses;
    bool disconnectBox = false;  // "Rozłączaj po transmisji"
    bool echoBox = false;        // kept in the dialog, hidden and disabled
};

struct CommSettings {
    int comPort = 1;
    int speed = 9600;
    bool useTcp = false;
    std::string ipAddress;
    int tcpPort = 0;
    std::vector<int> busAddresses;
    bool testOuts = true;
    bool disconnectAfterReading = false;
    bool echo = false;
};

// 192.168.2.1 and port 23 proposed when the TCP address or port is missing.
void proposeTcpAddress(CommSettings& comm);

// The dialog's edit fields and check boxes.
struct CommFields {
    std::string comPort;
    std::string speed;
    bool useTcp = false;
    std::string ipAddress;
    std::string tcpPort;
    std::vector<std::string> busAddresses;
    bool testOuts = false;
    bool disconnectAfterReading = false;
    bool echo = false;
};

// Field numbers in FieldProblem.
enum CommField : int {
    ComPortField,
    SpeedField,
    IpAddressField,
    TcpPortField,
    FirstBusAddressField  // + the bus address's index
};

CommFields commFields(const CommSettings& comm);
// OK: the values of valid fields, or the first field out of its range.
std::optional<FieldProblem> readCommFields(const CommFields& fields, const CommDialogShape& shape,
                                           CommSettings& comm);

}  // namespace dkq
