#include "settings/com_ports.h"

#include "link/platform/serial_port.h"
#include "settings/registry_key.h"

namespace dkq {
namespace {

// Long enough for any device path a settings file names.
constexpr std::size_t DevicePathSize = 1024;

}  // namespace

std::string mappedComDevice(RegistryKey& ports, int comPort) {
    std::string device;
    ports.ReadString("COM" + std::to_string(comPort), device, DevicePathSize);
    return device;
}

std::string comPortDevice(int comPort) {
#ifndef _WIN32
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, PortsKeyPath)) {
        std::string device = mappedComDevice(key, comPort);
        if (!device.empty()) return device;
    }
#endif
    return platform::defaultComDevice(comPort);
}

}  // namespace dkq
