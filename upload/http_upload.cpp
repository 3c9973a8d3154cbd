#include "upload/http_upload.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "common/cp1250.h"
#include "common/text.h"
#include "link/log_file.h"

namespace dkq {
namespace {

using SteadyClock = std::chrono::steady_clock;

// libcurl's own timers are looked at at least this often.
constexpr long PollMs = 1000;

// The results of a TLS handshake that did not succeed.
bool handshakeFailed(CURLcode result) {
    switch (result) {
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return true;
        default:
            return false;
    }
}

bool isStored(long status) {
    return status >= 200 && status < 300;
}

bool isRefused(long status) {
    return status >= 400 && status < 500;
}

std::string refusedText(long status) {
    return "Serwer odrzucił pomiar (HTTP " + std::to_string(status) + "): usunięty z kolejki.";
}

}  // namespace

CurlLibrary::CurlLibrary() {
    curl_global_init(CURL_GLOBAL_ALL);
}

CurlLibrary::~CurlLibrary() {
    curl_global_cleanup();
}

std::size_t CollectResponse(char* piece, std::size_t size, std::size_t count, void* buffer) {
    auto& response = *static_cast<ResponseBuffer*>(buffer);
    const std::size_t length = size * count;
    const std::size_t room = MaxAnswerBytes - response.bytes.size();
    response.bytes.append(piece, std::min(length, room));
    if (length <= room) return length;
    response.cut = true;
    return 0;
}

std::string handshakeFailedText(const std::string& reason) {
    return "Połączenie TLS z serwerem pomiarów nie powiodło się: " + reason;
}

std::string unsentUploadsText(long long count) {
    return "Nie wysłano do serwera pomiarów: " + std::to_string(count) + ".";
}

void reportUploadNotice(const std::string& text, const std::string& logPath, bool toLog) {
    std::fprintf(stderr, "webmon: %s\n", text.c_str());
    if (toLog) appendToLog(logPath, encodeTextFile("\n" + text + "\n"));
}

std::string uploadFailureText(int curlResult, long httpStatus) {
    if (isStored(httpStatus)) return "";
    if (httpStatus != 0) return "HTTP " + std::to_string(httpStatus);
    switch (curlResult) {
        case CURLE_COULDNT_CONNECT:
            return "połączenie odrzucone";
        case CURLE_OPERATION_TIMEDOUT:
            return "przekroczony czas oczekiwania";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "nieznany adres serwera";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return "połączenie przerwane";
        default:
            return "błąd połączenia " + std::to_string(curlResult);
    }
}

// The thread that sends the requests of one recording run: from a queue of
// its own or, with BUFFER=1, from the outbox.
class HttpUpload::Worker {
  public:
    Worker(const UploadSettings& settings, const UploadLimits& limits, std::string logPath,
           Outbox* outbox)
        : settings_(settings),
          limits_(limits),
          logPath_(std::move(logPath)),
          logAnswers_(settings.logResponses != 0),
          outbox_(outbox) {
        thread_ = std::thread([this] { run(); });
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Queues a request; when the queue is full the oldest waiting one is
    // dropped.
    void hand(std::string request) {
        {
            const std::lock_guard lock(mutex_);
            if (!waiting_.empty() && waiting_.size() >= limits_.maxWaitingRequests) {
                waiting_.pop_front();
                ++unsent_;
            }
            waiting_.push_back(std::move(request));
        }
        wake_.notify_one();
    }

    // A reading was stored in the outbox.
    void wake() {
        { const std::lock_guard lock(mutex_); }
        wake_.notify_one();
    }

    // Sends what waits until the stop deadline, leaves the rest and ends the
    // thread; the count of queued requests not sent.
    long long finish() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            stopDeadline_ = SteadyClock::now() + std::chrono::milliseconds(limits_.stopWaitMs);
        }
        wake_.notify_one();
        thread_.join();
        return unsent_;
    }

    std::string failure() const {
        const std::lock_guard lock(mutex_);
        return failure_;
    }

  private:
    struct Job {
        std::string request;
        std::optional<Outbox::Entry> entry;  // with BUFFER=1
    };
    struct Answer {
        bool finished = false;  // false: left at the stop deadline
        int result = CURLE_OK;
        long status = 0;
        ResponseBuffer response;
    };

    void run() {
        CURLM* multi = curl_multi_init();
        CURL* easy = curl_easy_init();
        curl_slist* headers = nullptr;
        if (!settings_.token.empty())
            headers =
                curl_slist_append(nullptr, ("Authorization: Bearer " + settings_.token).c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        curl_blob authorities{const_cast<char*>(settings_.caBundle.data()),
                              settings_.caBundle.size(), CURL_BLOB_NOCOPY};
        if (!settings_.caBundle.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &authorities);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_);
        Job job;
        while (nextJob(job)) {
            Answer answer;
            send(multi, easy, job.request, answer);
            logAnswer(job, answer);
            if (job.entry && answer.finished) settle(*job.entry, answer);
        }
        curl_easy_cleanup(easy);
        curl_multi_cleanup(multi);
        curl_slist_free_all(headers);
    }

    bool nextJob(Job& job) {
        std::unique_lock lock(mutex_);
        return outbox_ != nullptr ? nextStored(lock, job) : nextQueued(lock, job);
    }

    // The oldest queued request; false when the run ends, with what still
    // waits counted as not sent.
    bool nextQueued(std::unique_lock<std::mutex>& lock, Job& job) {
        wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty() || (stopping_ && SteadyClock::now() >= stopDeadline_)) {
            unsent_ += static_cast<long long>(waiting_.size());
            waiting_.clear();
            return false;
        }
        job = {std::move(waiting_.front()), std::nullopt};
        waiting_.pop_front();
        return true;
    }

    // The oldest reading of the outbox once the pause after a failure is
    // over; false when the run ends (at STOP no pause is waited out).
    bool nextStored(std::unique_lock<std::mutex>& lock, Job& job) {
        for (;;) {
            const SteadyClock::time_point now = SteadyClock::now();
            if (stopping_ && (now >= stopDeadline_ || now < retryAt_)) return false;
            if (now < retryAt_) {
                wake_.wait_until(lock, retryAt_, [this] { return stopping_; });
                continue;
            }
            if (std::optional<Outbox::Entry> entry = outbox_->oldest()) {
                job = {uploadRequest(settings_, entry->query), std::move(entry)};
                return true;
            }
            if (stopping_) return false;
            if (outbox_->waiting() > 0) {  // counted but not read: the disk is tried again later
                pauseAfterFailure();
                continue;
            }
            wake_.wait(lock, [this] { return stopping_ || outbox_->waiting() > 0; });
        }
    }

    // 2xx: stored; 4xx: refused for good; anything else is tried again after a pause.
    void settle(const Outbox::Entry& entry, const Answer& answer) {
        const bool stored = isStored(answer.status);
        const bool left = stored || isRefused(answer.status);
        if (left) outbox_->settle(entry, stored);
        const std::lock_guard lock(mutex_);
        failure_ = uploadFailureText(answer.result, answer.status);
        if (left)
            retryMs_ = 0;
        else
            pauseAfterFailure();
    }

    void pauseAfterFailure() {
        retryMs_ =
            retryMs_ == 0 ? limits_.firstRetryMs : std::min(retryMs_ * 2, limits_.lastRetryMs);
        retryAt_ = SteadyClock::now() + std::chrono::milliseconds(retryMs_);
    }

    // With LOGRESP every answer that has a body; with BUFFER=1 every refusal.
    void logAnswer(const Job& job, const Answer& answer) {
        const bool refused = job.entry && answer.finished && isRefused(answer.status);
        if (!refused && !(logAnswers_ && !answer.response.bytes.empty())) return;
        std::string bytes = withCrLf("\nGET " + job.request + "\n" + answer.response.bytes);
        if (refused) bytes += encodeTextFile("\n" + refusedText(answer.status) + "\n");
        appendToLog(logPath_, bytes);
    }

    // How long to wait for the transfer before looking again; negative when
    // the stop deadline has passed and the request is left.
    long msToWait() {
        const std::lock_guard lock(mutex_);
        if (!stopping_) return PollMs;
        const SteadyClock::time_point now = SteadyClock::now();
        if (now >= stopDeadline_) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(stopDeadline_ - now);
        return std::min<long>(static_cast<long>(left.count()), PollMs);
    }

    // One GET. The handle is driven through a multi handle so that a request
    // can be left at the stop deadline; a name look-up still running then is
    // forgotten, not waited for.
    void send(CURLM* multi, CURL* easy, const std::string& request, Answer& answer) {
        curl_easy_setopt(easy, CURLOPT_URL, request.c_str());
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CollectResponse);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer.response);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, UploadUserAgent);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, limits_.connectMs);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, limits_.totalMs);
        curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
        errorText_[0] = '\0';
        curl_multi_add_handle(multi, easy);
        int running = 1;
        while (curl_multi_perform(multi, &running) == CURLM_OK && running > 0) {
            const long waitMs = msToWait();
            if (waitMs < 0) break;
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
        }
        int left = 0;
        while (const CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            answer.finished = true;
            answer.result = message->data.result;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
            reportHandshake(message->data.result);
        }
        curl_multi_remove_handle(multi, easy);
    }

    // Why a handshake failed, once until one succeeds or the reason changes:
    // a wrong certificate or authority fails every request alike.
    void reportHandshake(CURLcode result) {
        if (!handshakeFailed(result)) {
            if (result == CURLE_OK) handshakeFailure_.clear();
            return;
        }
        const std::string reason = errorText_[0] != '\0' ? errorText_ : curl_easy_strerror(result);
        if (reason == handshakeFailure_) return;
        handshakeFailure_ = reason;
        reportUploadNotice(handshakeFailedText(reason), logPath_, true);
    }

    const UploadSettings& settings_;
    const UploadLimits limits_;
    const std::string logPath_;
    const bool logAnswers_;
    Outbox* const outbox_;  // with BUFFER=1
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::string> waiting_;
    long long unsent_ = 0;
    bool stopping_ = false;
    SteadyClock::time_point stopDeadline_;
    SteadyClock::time_point retryAt_;
    long retryMs_ = 0;
    std::string failure_;
    char errorText_[CURL_ERROR_SIZE] = "";
    std::string handshakeFailure_;
    std::thread thread_;
};

HttpUpload::HttpUpload(const UploadSettings& settings, const UploadLimits& limits,
                       std::string logPath, std::string outboxPath)
    : settings_(settings),
      limits_(limits),
      logPath_(std::move(logPath)),
      outbox_(std::move(outboxPath), limits.outbox) {}

HttpUpload::~HttpUpload() {
    close();
}

void HttpUpload::open() {
    if (settings_.address.empty() || worker_ != nullptr) return;
    Outbox* outbox = nullptr;
    if (settings_.buffered()) {
        if (!outbox_.open()) reportUploadNotice(outbox_.problem(), logPath_, true);
        outbox = &outbox_;
    }
    worker_ = std::make_unique<Worker>(settings_, limits_, logPath_, outbox);
}

long long HttpUpload::close() {
    if (worker_ == nullptr) return 0;
    const long long unsent = worker_->finish();
    worker_.reset();
    if (settings_.buffered()) {
        outbox_.close();
        const OutboxLosses losses = outbox_.losses();
        if (losses.total() > 0) reportUploadNotice(outboxLossesText(losses), logPath_, true);
        return losses.total();
    }
    if (unsent > 0)
        reportUploadNotice(unsentUploadsText(unsent), logPath_, settings_.logResponses != 0);
    return unsent;
}

int HttpUpload::UploadReading(const UploadReadingValues& reading) {
    if (!settings_.active()) return 0;
    if (worker_ == nullptr) return 1;
    if (settings_.buffered()) {
        outbox_.add(uploadQuery(settings_, reading, uploadTimeText(reading.time)));
        worker_->wake();
    } else {
        worker_->hand(uploadRequest(settings_, reading));
    }
    return 1;
}

UploadState HttpUpload::state() const {
    return {outbox_.waiting(), worker_ != nullptr ? worker_->failure() : ""};
}

}  // namespace dkq
