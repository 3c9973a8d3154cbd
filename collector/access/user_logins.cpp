// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/access/user_logins.h"

#include <crypt.h>

#include <memory>

#include "collector/access/secrets.h"

namespace dkq::collector {
namespace {

// Yescrypt at libxcrypt's default cost.
constexpr const char* HashPrefix = "$y$";

// The password hashed with the setting (a hash's own salt and cost); empty
// when crypt refuses it.
std::string hashWith(const std::string& password, const char* setting) {
    auto data = std::make_unique<crypt_data>();
    const char* hash = crypt_r(password.c_str(), setting, data.get());
    if (hash == nullptr || hash[0] == '*') return {};
    return hash;
}

}  // namespace

std::string hashPassword(std::string_view password) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn(HashPrefix, 0, nullptr, 0, setting, sizeof setting) == nullptr) return {};
    return hashWith(std::string(password), setting);
}

std::unique_ptr<UserLogins> UserLogins::read(std::string_view text, std::string& error) {
    std::unique_ptr<UserLogins> logins(new UserLogins);
    for (int number = 1; !text.empty(); ++number) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.starts_with('#')) continue;
        const std::size_t colon = line.find(':');
        const std::string name(line.substr(0, colon));
        const std::string hash(colon == std::string_view::npos ? "" : line.substr(colon + 1));
        // A hash checks against itself only when crypt knows its method.
        if (name.empty() || hash.empty() || hashWith("", hash.c_str()).empty()) {
            error = "line " + std::to_string(number) +
                    ": NAME:HASH expected, the hash as "
                    "dkq-collector --hash-password prints it";
            return nullptr;
        }
        if (!logins->hashes_.emplace(name, hash).second) {
            error = "line " + std::to_string(number) + ": " + name + " again";
            return nullptr;
        }
    }
    if (logins->hashes_.empty()) {
        error = "no NAME:HASH line";
        return nullptr;
    }
    return logins;
}

bool UserLogins::check(std::string_view authorization) const {
    const auto credentials = credentialsOf(authorization, "Basic");
    const auto decoded = credentials ? decodeBase64(*credentials) : std::nullopt;
    const std::size_t colon = decoded ? decoded->find(':') : std::string::npos;
    if (colon == std::string::npos) return false;
    return matches(decoded->substr(0, colon), decoded->substr(colon + 1));
}

bool UserLogins::matches(const std::string& name, const std::string& password) const {
    {
        std::lock_guard lock(acceptedMutex_);
        const auto accepted = accepted_.find(name);
        if (accepted != accepted_.end() && sameSecret(accepted->second, password)) return true;
    }
    const auto found = hashes_.find(name);
    // An unknown name costs a hash as well, so that its answer does not tell.
    const std::string& hash = found != hashes_.end() ? found->second : hashes_.begin()->second;
    const bool same = sameSecret(hashWith(password, hash.c_str()), hash);
    if (!same || found == hashes_.end()) return false;
    std::lock_guard lock(acceptedMutex_);
    accepted_[name] = password;
    return true;
}

}  // namespace dkq::collector
