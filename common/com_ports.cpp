#include "common/com_ports.h"

#include <filesystem>
#include <system_error>

#include "common/registry_key.h"

namespace dkq {
namespace {

// Long enough for any device path a settings file names.
constexpr std::size_t DevicePathSize = 1024;

}  // namespace

std::string comPortDevice(int comPort) {
#ifdef _WIN32
    return "\\\\.\\COM" + std::to_string(comPort);
#else
    RegistryKey key;
    std::string device;
    if (key.Open(RegistryRoot::CurrentUser, PortsKeyPath) &&
        key.ReadString("COM" + std::to_string(comPort), device, DevicePathSize) && !device.empty())
        return device;
    const std::string usb = "/dev/ttyUSB" + std::to_string(comPort - 1);
    std::error_code error;
    if (std::filesystem::exists(usb, error)) return usb;
    return "/dev/ttyS" + std::to_string(comPort - 1);
#endif
}

}  // namespace dkq
