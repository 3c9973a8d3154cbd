// SPDX-License-Identifier: GPL-3.0-or-later
// The collector's secrets: files of tokens and password hashes that only
// their owner may read, and comparisons whose time tells nothing of where
// two texts differ.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dkq::collector {

// The bound of a tokens or users file.
inline constexpr std::size_t MaxSecretFileBytes = std::size_t{1} << 20;

// The whole regular file, or nothing with the reason: also when its group or
// others may read it, since its secrets would then be theirs.
std::optional<std::string> readSecretFile(const std::string& path, std::string& error);

// Equal texts; takes the same time for any two texts of the given lengths.
bool sameSecret(std::string_view a, std::string_view b);

// The value of an Authorization header after its scheme ("Bearer",
// "Basic"; case does not matter) and one blank; nothing for another scheme.
std::optional<std::string_view> credentialsOf(std::string_view authorization,
                                              std::string_view scheme);

// Standard base64 with padding, as HTTP Basic authentication sends it;
// nothing for any other text.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace dkq::collector
