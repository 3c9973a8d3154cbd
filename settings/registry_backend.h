// The two stores behind RegistryKey: the Windows registry and QSettings
// files. Each returns a registry_error code; RegistryKey does the bookkeeping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "settings/registry_key.h"

namespace dkq::registry_backend {

using Handle = std::unique_ptr<RegistryHandle, RegistryHandleDeleter>;

long open(std::string_view path, Handle& handle);
long create(std::string_view path);
long readDword(RegistryHandle& key, std::string_view name, std::uint32_t& value);
long readString(RegistryHandle& key, std::string_view name, std::string& value, std::size_t size);
long writeDword(RegistryHandle& key, std::string_view name, std::uint32_t value);
long writeString(RegistryHandle& key, std::string_view name, std::string_view text);

}  // namespace dkq::registry_backend
