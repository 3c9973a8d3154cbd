#include "multimon/comm_settings.h"

namespace dkq {

// Module A is always polled; the others may be switched off with 0.
const CommDialogShape& multimonCommShape() {
    static const CommDialogShape shape = [] {
        CommDialogShape made{"Ustawienia komunikacji",
                             "Prędkość transmisji",
                             "Nr portu TCP",
                             MaxIpAddressChars,
                             {},
                             false,
                             false};
        for (int module = 0; module < ModuleCount; ++module) {
            const std::string letter(1, moduleLetter(module));
            made.busAddresses.push_back({"Adres modułu " + letter, "busAddressField" + letter,
                                         module == 0 ? 1 : 0,
                                         module == 1 ? "(0 = moduł wyłączony)" : ""});
        }
        return made;
    }();
    return shape;
}

CommSettings commDialogValues(const MonitorSettings& settings, const ModuleTable& modules) {
    CommSettings comm;
    comm.comPort = settings.comPort;
    comm.speed = settings.speed;
    comm.useTcp = settings.useTcp;
    comm.ipAddress = settings.ipAddress;
    comm.tcpPort = settings.tcpPort;
    comm.testOuts = settings.testOuts;
    for (const ModuleSlot& slot : modules) comm.busAddresses.push_back(slot.busAddress);
    proposeTcpAddress(comm);
    return comm;
}

void applyCommSettings(const CommSettings& comm, MonitorSettings& settings, ModuleTable& modules) {
    settings.comPort = comm.comPort;
    settings.speed = comm.speed;
    settings.useTcp = comm.useTcp;
    settings.ipAddress = comm.ipAddress;
    settings.tcpPort = comm.tcpPort;
    settings.testOuts = comm.testOuts;
    for (int module = 0; module < ModuleCount && module < std::ssize(comm.busAddresses); ++module)
        modules[module].busAddress = comm.busAddresses[module];
}

}  // namespace dkq
