// The communication settings dialog's values: the link, the bus addresses of
// modules A..E and "Pomiary linii wyjściowych". The dialog works on a copy and
// the live settings change only on OK.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "monitor/field_reader.h"
#include "multimon/module_table.h"
#include "multimon/monitor_settings.h"

namespace dkq {

inline constexpr const char* ProposedIpAddress = "192.168.2.1";
inline constexpr int ProposedTcpPort = 23;
inline constexpr std::size_t MaxIpAddressChars = 20;

struct CommSettings {
    int comPort = 1;
    int speed = 9600;
    int useTcp = 0;
    std::string ipAddress;
    int tcpPort = 0;
    std::array<int, ModuleCount> busAddresses{};
    int testOuts = 1;
};

// The live values, with 192.168.2.1 and port 23 proposed when the TCP
// address or port is missing.
CommSettings commDialogValues(const MonitorSettings& settings, const ModuleTable& modules);
void applyCommSettings(const CommSettings& comm, MonitorSettings& settings, ModuleTable& modules);

// The dialog's edit fields and check boxes.
struct CommFields {
    std::string comPort;
    std::string speed;
    bool useTcp = false;
    std::string ipAddress;
    std::string tcpPort;
    std::array<std::string, ModuleCount> busAddresses;
    bool testOuts = false;
};

// Field numbers in FieldProblem.
enum CommField : int {
    ComPortField,
    SpeedField,
    IpAddressField,
    TcpPortField,
    FirstBusAddressField  // + module 0..4
};

CommFields commFields(const CommSettings& comm);
// OK: the values of valid fields, or the first field out of its range.
std::optional<FieldProblem> readCommFields(const CommFields& fields, CommSettings& comm);

}  // namespace dkq
