#include "settings/setting_values.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "common/text.h"

namespace dkq {

int takeInRange(long long value, ValueRange range) {
    return static_cast<int>(std::clamp<long long>(value, range.low, range.high));
}

bool readDwordInRange(RegistryKey& key, std::string_view name, int& value, ValueRange range) {
    std::uint32_t stored = 0;
    if (!key.ReadDword(name, stored)) return false;
    value = takeInRange(stored, range);
    return true;
}

bool readFlag(RegistryKey& key, std::string_view name, bool& value) {
    int stored = 0;
    if (!readDwordInRange(key, name, stored, SwitchRange)) return false;
    value = stored != 0;
    return true;
}

bool readStringCut(RegistryKey& key, std::string_view name, std::string& value,
                   std::size_t maxChars) {
    std::string stored;
    if (!key.ReadString(name, stored, std::numeric_limits<std::size_t>::max())) return false;
    value = limitChars(stored, maxChars);
    return true;
}

}  // namespace dkq
