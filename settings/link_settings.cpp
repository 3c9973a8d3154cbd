#include "settings/link_settings.h"

#include <cstdint>

#include "common/text.h"

namespace dkq {

void readLinkSettings(RegistryKey& key, LinkSettings& link, ValueRange speedRange) {
    readDwordInRange(key, "ComPORT", link.comPort, ComPortRange);
    readDwordInRange(key, "Speed", link.speed, speedRange);
    readStringCut(key, "Adres_IP", link.ipAddress);
    readDwordInRange(key, "Port_TCP", link.tcpPort, TcpPortRange);
    readFlag(key, "Polaczenie_TCP", link.useTcp);
}

bool writeLinkSettings(RegistryKey& key, const LinkSettings& link) {
    const auto dword = [](int value) { return static_cast<std::uint32_t>(value); };
    bool written = key.WriteDword("ComPORT", dword(link.comPort));
    written &= key.WriteDword("Speed", dword(link.speed));
    written &= key.WriteString("Adres_IP", limitChars(link.ipAddress, MaxRegistryStringChars));
    written &= key.WriteDword("Port_TCP", dword(link.tcpPort));
    written &= key.WriteDword("Polaczenie_TCP", dword(link.useTcp));
    return written;
}

}  // namespace dkq
