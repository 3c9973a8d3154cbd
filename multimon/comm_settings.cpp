#include "multimon/comm_settings.h"

namespace dkq {
namespace {

// Module A is always polled; the others may be switched off with 0.
ValueRange busAddressRange(int module) {
    return {module == 0 ? 1 : BusAddressRange.low, BusAddressRange.high};
}

}  // namespace

CommSettings commDialogValues(const MonitorSettings& settings, const ModuleTable& modules) {
    CommSettings comm{settings.comPort,   settings.speed,   settings.useTcp,
                      settings.ipAddress, settings.tcpPort, {},
                      settings.testOuts};
    for (int module = 0; module < ModuleCount; ++module)
        comm.busAddresses[module] = modules[module].busAddress;
    if (comm.tcpPort == 0 || comm.ipAddress.empty()) {
        comm.ipAddress = ProposedIpAddress;
        comm.tcpPort = ProposedTcpPort;
    }
    return comm;
}

void applyCommSettings(const CommSettings& comm, MonitorSettings& settings, ModuleTable& modules) {
    settings.comPort = comm.comPort;
    settings.speed = comm.speed;
    settings.useTcp = comm.useTcp;
    settings.ipAddress = comm.ipAddress;
    settings.tcpPort = comm.tcpPort;
    settings.testOuts = comm.testOuts;
    for (int module = 0; module < ModuleCount; ++module)
        modules[module].busAddress = comm.busAddresses[module];
}

CommFields commFields(const CommSettings& comm) {
    CommFields fields{std::to_string(comm.comPort),
                      std::to_string(comm.speed),
                      comm.useTcp != 0,
                      comm.ipAddress,
                      std::to_string(comm.tcpPort),
                      {},
                      comm.testOuts != 0};
    for (int module = 0; module < ModuleCount; ++module)
        fields.busAddresses[module] = std::to_string(comm.busAddresses[module]);
    return fields;
}

std::optional<FieldProblem> readCommFields(const CommFields& fields, CommSettings& comm) {
    FieldReader reader;
    CommSettings taken;
    taken.comPort =
        reader.integer(ComPortField, fields.comPort, ComPortRange.low, ComPortRange.high);
    taken.speed = reader.integer(SpeedField, fields.speed, SpeedRange.low, SpeedRange.high);
    taken.useTcp = fields.useTcp ? 1 : 0;
    taken.ipAddress = reader.text(IpAddressField, fields.ipAddress, MaxIpAddressChars);
    taken.tcpPort =
        reader.integer(TcpPortField, fields.tcpPort, TcpPortRange.low, TcpPortRange.high);
    for (int module = 0; module < ModuleCount; ++module) {
        const ValueRange range = busAddressRange(module);
        taken.busAddresses[module] = reader.integer(
            FirstBusAddressField + module, fields.busAddresses[module], range.low, range.high);
    }
    taken.testOuts = fields.testOuts ? 1 : 0;
    if (!reader.ok()) return reader.problem();
    comm = taken;
    return std::nullopt;
}

}  // namespace dkq
