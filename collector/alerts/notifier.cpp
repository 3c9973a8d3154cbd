// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/alerts/notifier.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "collector/alerts/alert_messages.h"
#include "collector/base/instant.h"

namespace dkq::collector {
namespace {

constexpr long ConnectTimeoutMs = 10'000;
constexpr long TransferTimeoutMs = 30'000;
// libcurl's own timers are looked at at least this often.
constexpr int PollMs = 1000;

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, ListCleanup>;

std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// The message, a piece at a time, for the SMTP upload.
std::size_t readMessage(char* buffer, std::size_t size, std::size_t count, void* message) {
    auto& rest = *static_cast<std::string_view*>(message);
    const std::size_t length = std::min(size * count, rest.size());
    // Bytes of the message, not a C string: no terminating NUL belongs in it.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(buffer, rest.data(), length);
    rest.remove_prefix(length);
    return length;
}

int noteSocket(void* socket, curl_socket_t opened, curlsocktype) {
    *static_cast<curl_socket_t*>(socket) = opened;
    return CURL_SOCKOPT_OK;
}

// A user and password are never sent in the clear: smtp:// with them
// needs the server's STARTTLS.
bool withPassword(std::string_view url) {
    const std::size_t start = url.find("://") + 3;
    return url.substr(start, url.find('/', start) - start).find('@') != std::string_view::npos;
}

std::string seconds(std::chrono::steady_clock::duration pause) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(pause).count()) + " s";
}

}  // namespace

Notifier::Notifier(std::string smtp, std::string from)
    : smtp_(std::move(smtp)), from_(std::move(from)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    multi_ = curl_multi_init();
    thread_ = std::thread([this] { run(); });
}

Notifier::~Notifier() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    curl_multi_wakeup(multi_);
    thread_.join();
    curl_multi_cleanup(multi_);
    curl_global_cleanup();
    if (!waiting_.empty())
        std::fprintf(stderr, "dkq-collector: %zu alert notifications left undelivered\n",
                     waiting_.size());
}

void Notifier::send(const AlertChange& change, std::span<const std::string> targets) {
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard lock(mutex_);
        for (const std::string& target : targets) {
            if (waiting_.size() < MaxWaitingNotifications) {
                waiting_.push_back({change, target, now, now, FirstRetryPause});
                continue;
            }
            std::fprintf(stderr,
                         "dkq-collector: alert \"%s\" of %d for %s dropped: %zu notifications "
                         "wait already\n",
                         change.alert.rule.c_str(), change.alert.uid, target.c_str(),
                         waiting_.size());
        }
    }
    wake_.notify_one();
}

// The earliest due delivery is taken out of the queue while it is tried and
// put back with a longer pause when it fails.
void Notifier::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const auto next =
            std::min_element(waiting_.begin(), waiting_.end(),
                             [](const Delivery& a, const Delivery& b) { return a.due < b.due; });
        if (next == waiting_.end()) {
            wake_.wait(lock);
            continue;
        }
        if (next->due > Clock::now()) {
            wake_.wait_until(lock, next->due);
            continue;
        }
        Delivery delivery = std::move(*next);
        waiting_.erase(next);
        lock.unlock();
        const std::string problem = deliver(delivery);
        lock.lock();
        if (problem.empty()) continue;
        if (stopping_) {  // counted as left undelivered
            waiting_.push_back(std::move(delivery));
            continue;
        }
        const Alert& alert = delivery.change.alert;
        const Clock::time_point now = Clock::now();
        const bool givenUp = now - delivery.first >= RetryFor;
        const std::string then =
            givenUp ? "given up after an hour" : "next attempt in " + seconds(delivery.pause);
        std::fprintf(stderr, "dkq-collector: alert \"%s\" of %d not delivered to %s (%s); %s\n",
                     alert.rule.c_str(), alert.uid, delivery.target.c_str(), problem.c_str(),
                     then.c_str());
        if (givenUp) continue;
        delivery.due = now + delivery.pause;
        delivery.pause = std::min<Clock::duration>(delivery.pause * 2, LongestRetryPause);
        waiting_.push_back(std::move(delivery));
    }
}

std::string Notifier::deliver(const Delivery& delivery) {
    const std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    if (!easy) return "out of memory";
    CURL* handle = easy.get();
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, TransferTimeoutMs);
    curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);  // no idle connection waits for a stop
    CurlList list;
    std::string text;
    std::string_view rest;
    if (delivery.target.starts_with("mailto:")) {
        const std::string to = delivery.target.substr(7);
        text = alertMail(delivery.change, from_, to, nowMs());
        rest = text;
        list.reset(curl_slist_append(nullptr, ("<" + to + ">").c_str()));
        curl_easy_setopt(handle, CURLOPT_URL, smtp_.c_str());
        curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
        curl_easy_setopt(handle, CURLOPT_USE_SSL,
                         static_cast<long>(withPassword(smtp_) ? CURLUSESSL_ALL : CURLUSESSL_TRY));
        curl_easy_setopt(handle, CURLOPT_MAIL_FROM, ("<" + from_ + ">").c_str());
        curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, list.get());
        curl_easy_setopt(handle, CURLOPT_READFUNCTION, &readMessage);
        curl_easy_setopt(handle, CURLOPT_READDATA, &rest);
        curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
        return transfer(handle);
    }
    text = alertJson(delivery.change.alert, delivery.change.firing);
    list.reset(curl_slist_append(nullptr, "Content-Type: application/json"));
    curl_easy_setopt(handle, CURLOPT_URL, delivery.target.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "dkq-collector");
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, text.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(text.size()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &discard);
    std::string problem = transfer(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (problem.empty() && (status < 200 || status > 299))
        problem = "HTTP " + std::to_string(status);
    return problem;
}

// Through the multi handle, so that a stop ends a transfer at once.
std::string Notifier::transfer(CURL* easy) {
    curl_socket_t socket = CURL_SOCKET_BAD;
    curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &noteSocket);
    curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, &socket);
    curl_multi_add_handle(multi_, easy);
    int running = 1;
    while (curl_multi_perform(multi_, &running) == CURLM_OK && running > 0 && !stopping_)
        curl_multi_poll(multi_, nullptr, 0, PollMs, nullptr);
    // Left at a stop: its connection is ended first, or libcurl would wait
    // for the mail server's answer to QUIT.
    if (running > 0 && socket != CURL_SOCKET_BAD) shutdown(socket, SHUT_RDWR);
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE) result = message->data.result;
    }
    curl_multi_remove_handle(multi_, easy);
    return result == CURLE_OK ? "" : curl_easy_strerror(result);
}

}  // namespace dkq::collector
