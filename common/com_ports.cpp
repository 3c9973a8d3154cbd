#include "common/com_ports.h"

#include "common/registry_key.h"
#include "link/platform/serial_port.h"

namespace dkq {
namespace {

// Long enough for any device path a settings file names.
constexpr std::size_t DevicePathSize = 1024;

}  // namespace

std::string comPortDevice(int comPort) {
#ifndef _WIN32
    RegistryKey key;
    std::string device;
    if (key.Open(RegistryRoot::CurrentUser, PortsKeyPath) &&
        key.ReadString("COM" + std::to_string(comPort), device, DevicePathSize) && !device.empty())
        return device;
#endif
    return platform::defaultComDevice(comPort);
}

}  // namespace dkq
