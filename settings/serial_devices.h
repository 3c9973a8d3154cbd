// The serial devices of this machine, found in sysfs, with the COM port
// number that opens each: what `dkq ports` prints and what the programs offer
// beside their COM port field.
#pragma once

#include <string>
#include <vector>

namespace dkq {

// Where the lister looks; tests give folders of their own.
struct SerialRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
};

struct SerialDevice {
    std::string device;  // <dev>/ttyUSB0
    std::string byId;    // <dev>/serial/by-id/usb-FTDI_..., empty when udev made none
    std::string usbId;   // vendor:product of the USB device, "0403:6001"; empty when not USB
    std::string driver;  // "ftdi_sio", "cdc_acm", "serial"; empty when unknown
    int comPort = 0;     // the COM port number that opens it; 0 when none does
};

// Every tty with a device behind it (a UART that the kernel found, a USB
// adapter) whose node is in <dev>, in name order (ttyS2 before ttyS10).
// A COM port number is found by the Ports mapping first (a value naming the
// device or a link to it), else by the rule for unmapped numbers.
std::vector<SerialDevice> listSerialDevices(const SerialRoots& roots = {});

// One line: device, by-id name, USB id, driver, COM port, two blanks between,
// "-" for what is unknown.
std::string serialDeviceLine(const SerialDevice& device);

// Gives device a COM port number when none opens it yet: the lowest of
// 1..highest with no mapping whose own device is none of `devices`, mapped to
// device (its by-id name when it has one). Returns the number (device.comPort
// too); 0 when every number is taken or the mapping cannot be written.
int mapFreeComPort(SerialDevice& device, const std::vector<SerialDevice>& devices, int highest,
                   const std::string& devFolder = "/dev");

}  // namespace dkq
