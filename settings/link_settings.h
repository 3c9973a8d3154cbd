// The link's values every program keeps in its registry key under the same
// names: COM port and speed, or TCP address and port.
#pragma once

#include <string>

#include "settings/registry_key.h"
#include "settings/setting_values.h"

namespace dkq {

struct LinkSettings {
    int comPort = 1;
    int speed = 9600;
    bool useTcp = false;
    std::string ipAddress;
    int tcpPort = 0;
    bool operator==(const LinkSettings&) const = default;
};

// The TCP address and port every program proposes when none is set.
inline constexpr const char* ProposedLinkIpAddress = "192.168.2.1";
inline constexpr int ProposedLinkTcpPort = 23;

// Each value present replaces its field, taken into its range; the speed's
// range is the program's own.
void readLinkSettings(RegistryKey& key, LinkSettings& link, ValueRange speedRange);
// Writes every value; false when one could not be written.
bool writeLinkSettings(RegistryKey& key, const LinkSettings& link);

}  // namespace dkq
