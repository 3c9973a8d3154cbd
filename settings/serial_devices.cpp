#include "settings/serial_devices.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <tuple>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "common/plain_file.h"
#include "link/platform/serial_port.h"
#include "settings/com_ports.h"
#include "settings/registry_key.h"
#include "settings/setting_values.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t AttributeBytes = 4096;  // a sysfs attribute is at most a page
constexpr int MaxComPort = ComPortRange.high;
// The serial core's own port devices (Linux 6.5 on) stand between a UART's
// tty and the device its driver serves.
constexpr const char* SerialCoreBus = "serial-base";

// The first line of a sysfs attribute; empty when there is none.
std::string attribute(const fs::path& file) {
    std::string bytes;
    if (readWholeFile(file.string(), bytes, AttributeBytes) != FileRead::Ok) return {};
    return bytes.substr(0, bytes.find_first_of("\r\n"));
}

// Whether two names (a link, a node) lead to one file; std::filesystem's
// equivalent refuses device nodes.
bool sameFile(const fs::path& a, const fs::path& b) {
#ifdef _WIN32
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
#else
    struct stat first {};
    struct stat second {};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#endif
}

bool strictlyInside(const fs::path& folder, const fs::path& root) {
    const auto [rootEnd, folderEnd] =
        std::mismatch(root.begin(), root.end(), folder.begin(), folder.end());
    return rootEnd == root.end() && folderEnd != folder.end();
}

// The device folder and its parents below the sysfs root.
std::vector<fs::path> deviceAncestry(const fs::path& sysRoot, const fs::path& device) {
    std::error_code error;
    std::vector<fs::path> ancestry;
    const fs::path root = fs::canonical(sysRoot, error);
    if (error) return ancestry;
    for (fs::path folder = fs::canonical(device, error); !error && strictlyInside(folder, root);
         folder = folder.parent_path())
        ancestry.push_back(folder);
    return ancestry;
}

// The driver of the nearest device that has one, past the serial core's own.
// Its link leads to .../bus/<bus>/drivers/<name>.
std::string driverOf(const std::vector<fs::path>& ancestry) {
    for (const fs::path& folder : ancestry) {
        std::error_code error;
        const fs::path driver = fs::read_symlink(folder / "driver", error);
        if (!error && driver.parent_path().parent_path().filename() != SerialCoreBus)
            return driver.filename().string();
    }
    return {};
}

std::string usbIdOf(const std::vector<fs::path>& ancestry) {
    for (const fs::path& folder : ancestry) {
        const std::string vendor = attribute(folder / "idVendor");
        const std::string product = attribute(folder / "idProduct");
        if (!vendor.empty() && !product.empty()) return vendor + ':' + product;
    }
    return {};
}

// The entries of a folder in name order; none when it cannot be read.
std::vector<fs::path> folderEntries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        entries.push_back(entry->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

// udev's stable names by the name of the node each links to.
std::map<std::string, std::string> stableNames(const fs::path& devRoot) {
    std::map<std::string, std::string> names;
    for (const fs::path& link : folderEntries(devRoot / "serial" / "by-id")) {
        std::error_code error;
        const fs::path target = fs::read_symlink(link, error);
        if (!error) names.emplace(target.filename().string(), link.string());
    }
    return names;
}

// "ttyS10" sorts as ("ttyS", 10).
std::tuple<std::string, int, std::string> nameOrder(const std::string& name) {
    const auto digits = name.find_last_not_of("0123456789") + 1;
    const std::string number = name.substr(digits).substr(0, 9);
    return {name.substr(0, digits), number.empty() ? -1 : std::stoi(number), name};
}

// A UART the kernel probed and found nothing at reports type 0.
bool hasDevice(const fs::path& tty) {
    std::error_code error;
    return fs::exists(tty / "device", error) && attribute(tty / "type") != "0";
}

// The devices the Ports mapping names, by COM port number.
using ComPortMap = std::array<std::string, MaxComPort + 1>;

ComPortMap readComPortMap() {
    ComPortMap mapped;
    RegistryKey ports;
    if (ports.Open(RegistryRoot::CurrentUser, PortsKeyPath))
        for (int n = 1; n <= MaxComPort; ++n) mapped[n] = mappedComDevice(ports, n);
    return mapped;
}

int comPortOf(const std::string& device, const ComPortMap& mapped, const std::string& devFolder) {
    int byRule = 0;
    for (int n = 1; n <= MaxComPort; ++n) {
        if (!mapped[n].empty()) {
            if (sameFile(mapped[n], device)) return n;
        } else if (byRule == 0 && sameFile(platform::defaultComDeviceIn(devFolder, n), device)) {
            byRule = n;
        }
    }
    return byRule;
}

}  // namespace

std::vector<SerialDevice> listSerialDevices(const SerialRoots& roots) {
    const fs::path ttys = fs::path(roots.sys) / "class" / "tty";
    std::vector<std::string> names;
    for (const fs::path& tty : folderEntries(ttys)) {
        const std::string name = tty.filename().string();
        std::error_code error;
        if (hasDevice(tty) && fs::exists(fs::path(roots.dev) / name, error)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(),
              [](const auto& a, const auto& b) { return nameOrder(a) < nameOrder(b); });

    const auto byId = stableNames(roots.dev);
    const ComPortMap mapped = readComPortMap();
    std::vector<SerialDevice> devices;
    for (const std::string& name : names) {
        const auto ancestry = deviceAncestry(roots.sys, ttys / name / "device");
        SerialDevice device{(fs::path(roots.dev) / name).string(), "", usbIdOf(ancestry),
                            driverOf(ancestry), 0};
        if (const auto link = byId.find(name); link != byId.end()) device.byId = link->second;
        device.comPort = comPortOf(device.device, mapped, roots.dev);
        devices.push_back(std::move(device));
    }
    return devices;
}

std::string serialDeviceLine(const SerialDevice& device) {
    const auto known = [](const std::string& text) { return text.empty() ? "-" : text; };
    const std::string comPort = device.comPort ? "COM" + std::to_string(device.comPort) : "-";
    return device.device + "  " + known(device.byId) + "  " + known(device.usbId) + "  " +
           known(device.driver) + "  " + comPort;
}

int mapFreeComPort(SerialDevice& device, const std::vector<SerialDevice>& devices, int highest,
                   const std::string& devFolder) {
    if (device.comPort != 0) return device.comPort;
    const ComPortMap mapped = readComPortMap();
    for (int n = 1; n <= std::min(highest, MaxComPort); ++n) {
        const std::string own = platform::defaultComDeviceIn(devFolder, n);
        if (!mapped[n].empty() || std::any_of(devices.begin(), devices.end(), [&](const auto& d) {
                return sameFile(d.device, own);
            }))
            continue;
        RegistryKey ports;
        const std::string& name = device.byId.empty() ? device.device : device.byId;
        if (!ports.CreateKey(RegistryRoot::CurrentUser, PortsKeyPath) ||
            !ports.Open(RegistryRoot::CurrentUser, PortsKeyPath) ||
            !ports.WriteString("COM" + std::to_string(n), name))
            return 0;
        return device.comPort = n;
    }
    return 0;
}

}  // namespace dkq
