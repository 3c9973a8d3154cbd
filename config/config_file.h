// Configuration files (the image byte for byte, 2048 bytes, no header) and the
// configurator's connection settings in the registry key it shares with the
// monitors.
#pragma once

#include <cstddef>
#include <string>

#include "config/config_image.h"
#include "settings/link_settings.h"
#include "settings/setting_values.h"

namespace dkq {

inline constexpr std::size_t ConfigFileBytes = 4 * ConfigSlotCount;
inline constexpr const char* DefaultConfigFile = "default.dkq";
inline constexpr const char* ConfigFileFilter = "Pliki konfiguracji (*.DKQ)|*.DKQ||";
inline constexpr const char* ConfigFileExtension = "sm3";

enum class ConfigFileResult { Ok, OpenFailed, WrongSize, WriteFailed };

// Slot n as a signed 32-bit little-endian number at offset 4n.
std::string configFileBytes(const ConfigImage& image);

// Fills the image only from a file of exactly 2048 bytes; otherwise the
// image stays as it was. size receives the file's length when it was read.
ConfigFileResult loadConfigFile(const std::string& path, ConfigImage& image,
                                std::size_t* size = nullptr);
// Writes the whole file or nothing (temporary file and rename).
ConfigFileResult saveConfigFile(const std::string& path, const ConfigImage& image);

// The message for a failed load or save, empty for Ok and for a file that
// could not be opened for reading (the image simply stays).
std::string configFileMessage(ConfigFileResult result, const std::string& path, std::size_t size);

struct ConfiguratorSettings {
    LinkSettings link{.ipAddress = ProposedLinkIpAddress, .tcpPort = ProposedLinkTcpPort};
    bool echo = false;  // the hidden "ECHO" box: kept, no other effect
    int busAddress = 1;
    bool operator==(const ConfiguratorSettings&) const = default;
};

inline constexpr const char* ConfiguratorKeyPath = "Software\\Veldmark\\DKQ-1";
// "BPS:" offers more than the monitors do; a speed either saved stays as it is.
inline constexpr ValueRange ConfiguratorSpeedRange{1, 300000};

// Replaces the defaults by the values present, each taken into its range
// (the COM port into the range the monitors keep too, so that modcfg never
// rewrites a port they saved); creates the key if missing.
void loadConfiguratorSettings(ConfiguratorSettings& settings);
// Writes every value; false when the key cannot be opened or written.
bool saveConfiguratorSettings(const ConfiguratorSettings& settings);

}  // namespace dkq
