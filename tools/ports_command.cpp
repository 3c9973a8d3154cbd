// dkq ports: the serial devices of this machine, one a line, with the COM
// port number that opens each. It opens no line.
#include <iostream>

#include "common/serial_devices.h"
#include "tools/dkq_command.h"

namespace dkq::tool {

int runPortsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (!argumentCount(args, 0, 0)) {
        err << "dkq: " << refusal() << "\nusage: dkq " << PortsCommand << '\n';
        return UsageError;
    }
    const std::vector<SerialDevice> devices = listSerialDevices();
    for (const SerialDevice& device : devices) out << serialDeviceLine(device) << '\n';
    if (devices.empty()) err << "dkq: no serial devices found\n";
    return 0;
}

}  // namespace dkq::tool
