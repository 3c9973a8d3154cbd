// RegistryKey: the settings store every program of the suite shares.
//
// On Windows it is the registry under HKEY_CURRENT_USER. Elsewhere a key path
// "Software\<Org>\<App>" is the file <config dir>/<Org>/<App>.conf written by
// QSettings, so one key is one file and a value saved by one program is the
// starting value of the others. Every operation returns true on success and
// remembers a Windows-style error code of its last outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace dkq {

enum class RegistryRoot { CurrentUser };

// Error codes as the Windows registry reports them, on every platform.
namespace registry_error {
inline constexpr long None = 0;
inline constexpr long NotFound = 2;       // key or value does not exist
inline constexpr long AccessDenied = 5;   // store cannot be written
inline constexpr long InvalidHandle = 6;  // no key is open
inline constexpr long InvalidData = 13;   // value is not of the asked type
inline constexpr long BadPath = 161;      // key path not of the supported form
inline constexpr long MoreData = 234;     // value does not fit the buffer
}  // namespace registry_error

struct RegistryHandle;
struct RegistryHandleDeleter {
    void operator()(RegistryHandle* handle) const;
};

class RegistryKey {
  public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Closes a key still open, then opens root\path for reading and writing.
    bool Open(RegistryRoot root, std::string_view path);
    // True only if a key was open and is now closed.
    bool Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // Changes value only when a stored number 0..4294967295 was read.
    bool ReadDword(std::string_view name, std::uint32_t& value, long* error = nullptr);
    // Empties value, then reads the text if it fits in size bytes together
    // with its terminator (the bounded buffer of the stored format).
    bool ReadString(std::string_view name, std::string& value, std::size_t size,
                    long* error = nullptr);
    bool WriteDword(std::string_view name, std::uint32_t value, long* error = nullptr);
    bool WriteString(std::string_view name, std::string_view text, long* error = nullptr);

    // Creates root\path (or finds it) and closes it again; needs no open key.
    bool CreateKey(RegistryRoot root, std::string_view path);

    long LastError() const { return lastError_; }

  private:
    bool finish(long code, long* error);

    std::unique_ptr<RegistryHandle, RegistryHandleDeleter> handle_;
    long lastError_ = registry_error::None;
};

}  // namespace dkq
