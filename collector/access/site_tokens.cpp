// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/access/site_tokens.h"

#include <algorithm>

#include "collector/access/secrets.h"
#include "collector/api/upload_check.h"

namespace dkq::collector {
namespace {

bool isTokenText(std::string_view token) {
    return token.size() >= MinTokenChars && token.size() <= MaxTokenChars &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

}  // namespace

std::optional<SiteTokens> SiteTokens::read(std::string_view text, std::string& error) {
    SiteTokens tokens;
    for (int number = 1; !text.empty(); ++number) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.starts_with('#')) continue;
        const std::size_t blank = line.find(' ');
        const auto uid = readUid(line.substr(0, blank));
        const std::string_view token =
            blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
        if (!uid || !isTokenText(token)) {
            error = "line " + std::to_string(number) +
                    ": UID TOKEN expected, a token of 16 to 256 visible characters";
            return std::nullopt;
        }
        if (!tokens.tokens_.emplace(*uid, token).second) {
            error = "line " + std::to_string(number) + ": uid " + std::to_string(*uid) + " again";
            return std::nullopt;
        }
    }
    return tokens;
}

SiteAccess SiteTokens::check(std::int32_t uid, std::string_view authorization) const {
    const auto bearer = credentialsOf(authorization, "Bearer");
    if (!bearer) return SiteAccess::NoToken;
    const auto found = tokens_.find(uid);
    // A uid without a token is compared all the same: its answer takes as long.
    const std::string_view expected =
        found != tokens_.end() ? std::string_view(found->second) : std::string_view();
    const bool same = sameSecret(*bearer, expected);
    return same && found != tokens_.end() ? SiteAccess::Allowed : SiteAccess::WrongToken;
}

}  // namespace dkq::collector
