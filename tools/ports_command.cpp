// dkq ports: the serial devices of this machine, one a line, with the COM
// port number that opens each. It opens no line.
#include "settings/serial_devices.h"
#include "tools/dkq_command.h"

namespace dkq::tool {

const ToolCommand& portsCommand() {
    static constexpr ToolCommand ports{
        "ports", "",
        "the serial devices of this machine, one a line: device, /dev/serial/by-id name, USB "
        "vendor:product, driver, the COM port number that opens it (no connection)",
        false, nullptr};
    return ports;
}

int runPortsCommand(const std::vector<std::string>& args, OutputFormat format, std::ostream& out,
                    std::ostream& err) {
    if (!argumentCount(args, 0, 0)) {
        err << "dkq: " << refusal() << "\nusage: dkq ports\n";
        return UsageError;
    }
    const std::vector<SerialDevice> devices = listSerialDevices();
    RecordPrinter records(out, format);
    for (const SerialDevice& device : devices) {
        if (format == OutputFormat::Text) {
            out << serialDeviceLine(device) << '\n';
            continue;
        }
        // What is unknown is an empty text; a missing number an empty cell, null in JSON.
        const Field comPort =
            device.comPort ? Field{"com", std::to_string(device.comPort), Field::Number}
                           : Field{"com", format == OutputFormat::Json ? "null" : "", Field::Json};
        records.print({{"device", device.device},
                       {"by_id", device.byId},
                       {"usb_id", device.usbId},
                       {"driver", device.driver},
                       comPort});
    }
    if (devices.empty()) err << "dkq: no serial devices found\n";
    return 0;
}

}  // namespace dkq::tool
