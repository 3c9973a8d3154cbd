// Values read from settings files and the registry are taken into the range
// of the field they go to, and texts cut to its length, at the reading edge:
// nothing out of range reaches the link, a dialog or a file written later.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/registry_key.h"

namespace dkq {

struct ValueRange {
    int low = 0;
    int high = 0;
};

inline constexpr ValueRange SwitchRange{0, 1};  // an on/off value
// Values of the key the monitors and the configurator share.
inline constexpr ValueRange ComPortRange{1, 255};
inline constexpr ValueRange TcpPortRange{0, 65535};
inline constexpr ValueRange BusAddressRange{0, 31};  // 0: a monitor's module switched off
// Registry strings are read into 256-byte buffers: 255 characters.
inline constexpr std::size_t MaxRegistryStringChars = 255;

// The nearest value within range.
int takeInRange(long long value, ValueRange range);

// A stored DWORD taken into range; false, value unchanged, when none is stored.
bool readDwordInRange(RegistryKey& key, std::string_view name, int& value, ValueRange range);
// A stored yes/no value: 0 is no, anything else yes; false, value unchanged,
// when none is stored.
bool readFlag(RegistryKey& key, std::string_view name, bool& value);
// A stored string cut to maxChars characters; false, value unchanged, when
// none is stored.
bool readStringCut(RegistryKey& key, std::string_view name, std::string& value,
                   std::size_t maxChars = MaxRegistryStringChars);

}  // namespace dkq
