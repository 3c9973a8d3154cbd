// Windows backend: the registry under HKEY_CURRENT_USER, text as UTF-16
// inside the registry and UTF-8 outside.
#include <windows.h>

#include <vector>

#include "settings/registry_backend.h"

namespace dkq {

struct RegistryHandle {
    HKEY key = nullptr;
};

void RegistryHandleDeleter::operator()(RegistryHandle* handle) const {
    if (handle != nullptr && handle->key != nullptr) RegCloseKey(handle->key);
    delete handle;
}

namespace registry_backend {
namespace {

std::wstring wide(std::string_view text) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

std::string narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length, nullptr, nullptr);
    return result;
}

}  // namespace

long open(std::string_view path, Handle& handle) {
    HKEY key = nullptr;
    const LSTATUS status =
        RegOpenKeyExW(HKEY_CURRENT_USER, wide(path).c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) return status;
    handle.reset(new RegistryHandle{key});
    return ERROR_SUCCESS;
}

long create(std::string_view path) {
    HKEY key = nullptr;
    const LSTATUS status =
        RegCreateKeyExW(HKEY_CURRENT_USER, wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status;
}

long readDword(RegistryHandle& key, std::string_view name, std::uint32_t& value) {
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    const LSTATUS status = RegQueryValueExW(key.key, wide(name).c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(&data), &size);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_DWORD || size != sizeof data) return ERROR_INVALID_DATA;
    value = data;
    return ERROR_SUCCESS;
}

long readString(RegistryHandle& key, std::string_view name, std::string& value, std::size_t size) {
    const std::wstring wideName = wide(name);
    DWORD type = 0;
    DWORD bytes = 0;
    LSTATUS status = RegQueryValueExW(key.key, wideName.c_str(), nullptr, &type, nullptr, &bytes);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_SZ) return ERROR_INVALID_DATA;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    status = RegQueryValueExW(key.key, wideName.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    if (status != ERROR_SUCCESS) return status;
    // The stored text may or may not carry its terminator.
    std::string text = narrow(std::wstring_view(buffer.data()));
    if (text.size() + 1 > size) return ERROR_MORE_DATA;
    value = std::move(text);
    return ERROR_SUCCESS;
}

long writeDword(RegistryHandle& key, std::string_view name, std::uint32_t value) {
    const DWORD data = value;
    return RegSetValueExW(key.key, wide(name).c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof data);
}

long writeString(RegistryHandle& key, std::string_view name, std::string_view text) {
    const std::wstring data = wide(text);
    const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.key, wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), bytes);
}

}  // namespace registry_backend
}  // namespace dkq
