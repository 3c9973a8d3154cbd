// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/access/login_throttle.h"

#include <algorithm>

namespace dkq::collector {

LoginThrottle::Clock::duration LoginThrottle::wait(const std::string& address,
                                                   Clock::time_point now) {
    std::lock_guard lock(mutex_);
    const auto found = addresses_.find(address);
    if (found == addresses_.end() || found->second.until <= now) return Clock::duration::zero();
    return found->second.until - now;
}

void LoginThrottle::failed(const std::string& address, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (addresses_.size() >= MaxThrottledAddresses && !addresses_.contains(address)) {
        // Those whose wait is over are forgotten first; else any one.
        std::erase_if(addresses_, [now](const auto& entry) { return entry.second.until <= now; });
        if (addresses_.size() >= MaxThrottledAddresses) addresses_.erase(addresses_.begin());
    }
    Failures& failures = addresses_[address];
    failures.count = std::min(failures.count + 1, 16);
    const auto wait =
        std::min<Clock::duration>(FirstLoginWait * (1 << (failures.count - 1)), MaxLoginWait);
    failures.until = now + wait;
}

void LoginThrottle::succeeded(const std::string& address) {
    std::lock_guard lock(mutex_);
    addresses_.erase(address);
}

}  // namespace dkq::collector
