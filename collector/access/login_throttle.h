// SPDX-License-Identifier: GPL-3.0-or-later
// Failed logins slowed per client address: after a failure an address waits
// a second before its next login is checked, twice as long after each
// further failure, up to MaxLoginWait; a login that succeeds ends the wait.
// The addresses remembered are bounded.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace dkq::collector {

inline constexpr auto FirstLoginWait = std::chrono::seconds(1);
inline constexpr auto MaxLoginWait = std::chrono::seconds(32);
inline constexpr std::size_t MaxThrottledAddresses = 10000;

class LoginThrottle {
  public:
    using Clock = std::chrono::steady_clock;

    // How long the address must still wait before a login of its is
    // checked; zero when it need not.
    Clock::duration wait(const std::string& address, Clock::time_point now);
    void failed(const std::string& address, Clock::time_point now);
    void succeeded(const std::string& address);

  private:
    struct Failures {
        int count = 0;
        Clock::time_point until;
    };
    std::mutex mutex_;
    std::map<std::string, Failures> addresses_;
};

}  // namespace dkq::collector
