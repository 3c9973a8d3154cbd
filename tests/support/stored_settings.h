// Settings a test stores before a program reads them: values under a key of
// the settings store that stands for the registry.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <variant>

#include "settings/registry_key.h"

namespace dkq::test {

struct StoredValue {
    std::string name;
    std::variant<std::uint32_t, std::string> value;  // a DWORD or a string
};

// Stores the values under the key at path, created when missing.
inline void storeSettings(const char* path, std::initializer_list<StoredValue> values) {
    RegistryKey key;
    key.CreateKey(RegistryRoot::CurrentUser, path);
    EXPECT_TRUE(key.Open(RegistryRoot::CurrentUser, path)) << path;
    for (const StoredValue& stored : values) {
        if (const auto* number = std::get_if<std::uint32_t>(&stored.value))
            EXPECT_TRUE(key.WriteDword(stored.name, *number));
        else
            EXPECT_TRUE(key.WriteString(stored.name, std::get<std::string>(stored.value)));
    }
}

// The TCP connection to 127.0.0.1:port chosen under the key at path.
inline void chooseLoopbackTcp(const char* path, int port) {
    storeSettings(path, {{"Polaczenie_TCP", 1u},
                         {"Adres_IP", "127.0.0.1"},
                         {"Port_TCP", static_cast<std::uint32_t>(port)}});
}

}  // namespace dkq::test
