#include "settings/registry_key.h"

#include "settings/registry_backend.h"

namespace dkq {

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;

bool RegistryKey::finish(long code, long* error) {
    lastError_ = code;
    if (error != nullptr) *error = code;
    return code == registry_error::None;
}

bool RegistryKey::Open(RegistryRoot /*root*/, std::string_view path) {
    handle_.reset();
    return finish(registry_backend::open(path, handle_), nullptr);
}

bool RegistryKey::Close() {
    if (!handle_) return finish(registry_error::InvalidHandle, nullptr);
    handle_.reset();
    return finish(registry_error::None, nullptr);
}

bool RegistryKey::ReadDword(std::string_view name, std::uint32_t& value, long* error) {
    if (!handle_) return finish(registry_error::InvalidHandle, error);
    return finish(registry_backend::readDword(*handle_, name, value), error);
}

bool RegistryKey::ReadString(std::string_view name, std::string& value, std::size_t size,
                             long* error) {
    if (!handle_) return finish(registry_error::InvalidHandle, error);
    value.clear();
    return finish(registry_backend::readString(*handle_, name, value, size), error);
}

bool RegistryKey::WriteDword(std::string_view name, std::uint32_t value, long* error) {
    if (!handle_) return finish(registry_error::InvalidHandle, error);
    return finish(registry_backend::writeDword(*handle_, name, value), error);
}

bool RegistryKey::WriteString(std::string_view name, std::string_view text, long* error) {
    if (!handle_) return finish(registry_error::InvalidHandle, error);
    return finish(registry_backend::writeString(*handle_, name, text), error);
}

bool RegistryKey::CreateKey(RegistryRoot /*root*/, std::string_view path) {
    return finish(registry_backend::create(path), nullptr);
}

}  // namespace dkq
