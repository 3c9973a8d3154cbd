// Which device a program's COM port number opens.
#pragma once

#include <string>

namespace dkq {

class RegistryKey;

// Key whose string values "COM<n>" name the device of COM port n.
inline constexpr const char* PortsKeyPath = "Software\\Veldmark\\Ports";

// Windows: "\\.\COM<n>". Elsewhere: the value "COM<n>" under PortsKeyPath
// when present, else /dev/ttyUSB<n-1> when it exists, else /dev/ttyS<n-1>.
// Programs install it as their link's ComDevice.
std::string comPortDevice(int comPort);

// The device the value "COM<n>" of the open ports key names; empty for none.
std::string mappedComDevice(RegistryKey& ports, int comPort);

}  // namespace dkq
