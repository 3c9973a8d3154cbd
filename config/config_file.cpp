#include "config/config_file.h"

#include <cstdint>

#include "common/text_file.h"
#include "settings/registry_key.h"

namespace dkq {
namespace {

std::uint32_t dword(int value) {
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::string configFileBytes(const ConfigImage& image) {
    std::string bytes(ConfigFileBytes, '\0');
    for (std::size_t n = 0; n < image.size(); ++n) {
        const auto value = static_cast<std::uint32_t>(image[n]);
        for (std::size_t b = 0; b < 4; ++b)
            bytes[4 * n + b] = static_cast<char>((value >> (8 * b)) & 0xFF);
    }
    return bytes;
}

ConfigFileResult loadConfigFile(const std::string& path, ConfigImage& image, std::size_t* size) {
    std::string bytes;
    std::uintmax_t length = 0;
    const FileRead read = readWholeFile(path, bytes, ConfigFileBytes, &length);
    if (read != FileRead::Ok && read != FileRead::TooLong) return ConfigFileResult::OpenFailed;
    if (read == FileRead::Ok) length = bytes.size();
    if (size != nullptr) *size = static_cast<std::size_t>(length);
    if (read == FileRead::TooLong || bytes.size() != ConfigFileBytes)
        return ConfigFileResult::WrongSize;
    for (std::size_t n = 0; n < image.size(); ++n) {
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < 4; ++b)
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[4 * n + b]))
                     << (8 * b);
        image[n] = static_cast<std::int32_t>(value);
    }
    return ConfigFileResult::Ok;
}

ConfigFileResult saveConfigFile(const std::string& path, const ConfigImage& image) {
    return writeWholeFile(path, configFileBytes(image)) ? ConfigFileResult::Ok
                                                        : ConfigFileResult::WriteFailed;
}

std::string configFileMessage(ConfigFileResult result, const std::string& path, std::size_t size) {
    switch (result) {
        case ConfigFileResult::WrongSize:
            return "Plik " + path + " ma długość " + std::to_string(size) + " B zamiast " +
                   std::to_string(ConfigFileBytes) + " B.\nKonfiguracja nie została wczytana.";
        case ConfigFileResult::WriteFailed:
            return "Błąd zapisu pliku " + path + ".\nKonfiguracja nie została zapisana.";
        case ConfigFileResult::Ok:
        case ConfigFileResult::OpenFailed:
            break;
    }
    return {};
}

void loadConfiguratorSettings(ConfiguratorSettings& settings) {
    settings = ConfiguratorSettings{};
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, ConfiguratorKeyPath)) {
        key.CreateKey(RegistryRoot::CurrentUser, ConfiguratorKeyPath);
        return;
    }
    readLinkSettings(key, settings.link, ConfiguratorSpeedRange);
    readFlag(key, "Echo", settings.echo);
    readDwordInRange(key, "BusAdr", settings.busAddress, BusAddressRange);
}

bool saveConfiguratorSettings(const ConfiguratorSettings& s) {
    RegistryKey key;
    if (!key.Open(RegistryRoot::CurrentUser, ConfiguratorKeyPath)) return false;
    bool ok = writeLinkSettings(key, s.link);
    ok = key.WriteDword("Echo", dword(s.echo)) && ok;
    return key.WriteDword("BusAdr", dword(s.busAddress)) && ok;
}

}  // namespace dkq
