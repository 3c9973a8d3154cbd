// SPDX-License-Identifier: GPL-3.0-or-later
// Per-site upload tokens: a file of "UID TOKEN" lines (blank lines and lines
// starting with "#" aside), each site's webmon sending its own token as
// "Authorization: Bearer TOKEN", so that knowing the sum key is not enough to
// write a site's readings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace dkq::collector {

inline constexpr std::size_t MinTokenChars = 16;
inline constexpr std::size_t MaxTokenChars = 256;

enum class SiteAccess { Allowed, NoToken, WrongToken };

class SiteTokens {
  public:
    // Nothing, with the first faulty line, unless every line is a canonical
    // uid, one blank and a token of MinTokenChars..MaxTokenChars visible
    // ASCII characters, each uid once.
    static std::optional<SiteTokens> read(std::string_view text, std::string& error);

    // For an upload of `uid` carrying this Authorization header (empty when
    // none): NoToken without a bearer token, WrongToken for another uid's
    // (or none's).
    SiteAccess check(std::int32_t uid, std::string_view authorization) const;

  private:
    std::map<std::int32_t, std::string> tokens_;
};

}  // namespace dkq::collector
