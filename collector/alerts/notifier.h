// SPDX-License-Identifier: GPL-3.0-or-later
// Tells people of alerts from a thread of its own, through libcurl: a JSON
// POST to a webhook ("http://...", "https://..."), an e-mail through SMTP
// ("mailto:..."). A notification that fails is tried again after a pause
// that doubles each time, for an hour, each failure logged on standard
// error. What waits is bounded, and nothing of it ever holds up an upload.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <span>
#include <string>
#include <thread>

#include "collector/alerts/alert_evaluation.h"

typedef void CURLM;
typedef void CURL;

namespace dkq::collector {

inline constexpr std::size_t MaxWaitingNotifications = 1000;
inline constexpr std::chrono::milliseconds FirstRetryPause{2000};
inline constexpr std::chrono::milliseconds LongestRetryPause{5 * 60 * 1000};
inline constexpr std::chrono::milliseconds RetryFor{60 * 60 * 1000};

class Notifier {
  public:
    // E-mails go through the `smtp` server, sent by `from`.
    Notifier(std::string smtp, std::string from);
    // Leaves what still waits, and says how much on standard error.
    ~Notifier();
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // Queues the change for each target; a full queue drops it, logged.
    void send(const AlertChange& change, std::span<const std::string> targets);

  private:
    using Clock = std::chrono::steady_clock;
    struct Delivery {
        AlertChange change;
        std::string target;
        Clock::time_point first, due;
        Clock::duration pause;
    };
    void run();
    // The transfer's problem ("HTTP 503", libcurl's text), or empty.
    std::string deliver(const Delivery& delivery);
    std::string transfer(CURL* easy);

    const std::string smtp_, from_;
    CURLM* multi_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::list<Delivery> waiting_;
    std::atomic<bool> stopping_ = false;
    std::thread thread_;
};

}  // namespace dkq::collector
