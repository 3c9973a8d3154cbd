// SPDX-License-Identifier: GPL-3.0-or-later
// Logins for reading: a file of "name:hash" lines (blank lines and lines
// starting with "#" aside), the hash a salted yescrypt of libxcrypt as
// hashPassword makes it ("dkq-collector --hash-password"), checked against
// HTTP Basic authentication.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace dkq::collector {

// A new salted hash of the password; empty when the system cannot make one.
std::string hashPassword(std::string_view password);

class UserLogins {
  public:
    // Nothing, with the first faulty line, unless every line is a name
    // (without ":") and a hash that crypt knows, each name once.
    static std::unique_ptr<UserLogins> read(std::string_view text, std::string& error);
    UserLogins(const UserLogins&) = delete;
    UserLogins& operator=(const UserLogins&) = delete;

    // Whether the Authorization header (empty when none) holds a known name
    // and its password.
    bool check(std::string_view authorization) const;

  private:
    UserLogins() = default;
    bool matches(const std::string& name, const std::string& password) const;

    std::map<std::string, std::string, std::less<>> hashes_;
    // A hash takes tens of milliseconds by design, and a browser sends the
    // login with every request: the password last accepted for each name is
    // kept and compared first.
    mutable std::mutex acceptedMutex_;
    mutable std::map<std::string, std::string, std::less<>> accepted_;
};

}  // namespace dkq::collector
