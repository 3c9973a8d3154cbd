#include "monitor/comm_settings.h"

#include "monitor/settings_fields.h"

namespace dkq {

void proposeTcpAddress(CommSettings& comm) {
    if (comm.tcpPort != 0 && !comm.ipAddress.empty()) return;
    comm.ipAddress = ProposedLinkIpAddress;
    comm.tcpPort = ProposedLinkTcpPort;
}

CommFields commFields(const CommSettings& comm) {
    CommFields fields{std::to_string(comm.comPort),
                      std::to_string(comm.speed),
                      comm.useTcp,
                      comm.ipAddress,
                      std::to_string(comm.tcpPort),
                      {},
                      comm.testOuts,
                      comm.disconnectAfterReading,
                      comm.echo};
    for (const int address : comm.busAddresses)
        fields.busAddresses.push_back(std::to_string(address));
    return fields;
}

std::optional<FieldProblem> readCommFields(const CommFields& fields, const CommDialogShape& shape,
                                           CommSettings& comm) {
    FieldReader reader;
    CommSettings taken;
    taken.comPort =
        reader.integer(ComPortField, fields.comPort, ComPortRange.low, ComPortRange.high);
    taken.speed = reader.integer(SpeedField, fields.speed, SpeedRange.low, SpeedRange.high);
    taken.useTcp = fields.useTcp;
    taken.ipAddress = reader.text(IpAddressField, fields.ipAddress, shape.maxIpAddressChars);
    taken.tcpPort =
        reader.integer(TcpPortField, fields.tcpPort, TcpPortRange.low, TcpPortRange.high);
    for (std::size_t i = 0; i < shape.busAddresses.size() && i < fields.busAddresses.size(); ++i) {
        taken.busAddresses.push_back(
            reader.integer(FirstBusAddressField + static_cast<int>(i), fields.busAddresses[i],
                           shape.busAddresses[i].min, BusAddressRange.high));
    }
    taken.testOuts = fields.testOuts;
    taken.disconnectAfterReading = fields.disconnectAfterReading;
    taken.echo = fields.echo;
    if (!reader.ok()) return reader.problem();
    comm = taken;
    return std::nullopt;
}

}  // namespace dkq
