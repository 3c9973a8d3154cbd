// The upload over HTTP: one GET request per recorded reading, the server's
// answer kept for the answer log "log_http.log".
//
// The requests go out from a worker thread of their own, which owns the
// libcurl handles, so that no server, network or name server can hold up a
// reading: the acquisition tick only hands a request over and never waits.
// Requests go out in order, each once, one at a time; those waiting behind
// the one in flight are bounded, and past the bound the oldest are dropped
// and counted. Every request ends within its time-outs, the name look-up
// included (a resolver that never answers is left behind, not waited for),
// and STOP waits for what is still to be sent at most StopWaitMs.
//
// With BUFFER=1 the readings wait in the outbox instead, each with its own
// time, until the server answers 2xx; a 4xx answer refuses the reading for
// good (logged, dropped, counted). Anything else (5xx, a time-out, no
// connection) is tried again, oldest first, after a pause that doubles from
// 1 s to 60 s and starts afresh after a success. What waits at STOP stays in
// the outbox for the next START.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "upload/outbox.h"
#include "upload/upload_request.h"
#include "upload/upload_settings.h"

namespace dkq {

inline constexpr std::size_t MaxAnswerBytes = 64 * 1024;

struct UploadLimits {
    long connectMs = 2000;
    long totalMs = 4000;  // the whole request, name look-up included
    std::size_t maxWaitingRequests = 1000;
    long stopWaitMs = 2000;
    long firstRetryMs = 1000;  // with BUFFER=1: the pause after a failure, doubling ...
    long lastRetryMs = 60000;  // ... up to this
    OutboxLimits outbox{};
};

// How the last request went, for the window (with BUFFER=1).
struct UploadState {
    long long waiting = 0;  // readings in the outbox
    std::string failure;    // why the last request failed; empty when it did not
};

// Why a request failed, from libcurl's result and the HTTP status: "połączenie
// odrzucone", "przekroczony czas oczekiwania", "HTTP 503" ...; empty for a 2xx
// answer.
std::string uploadFailureText(int curlResult, long httpStatus);

// libcurl's global state, set up once when the program starts and released
// when it ends: one instance lives in main().
class CurlLibrary {
  public:
    CurlLibrary();
    ~CurlLibrary();
    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;
};

// The server's answer to one request, at most MaxAnswerBytes.
struct ResponseBuffer {
    std::string bytes;
    bool cut = false;  // the answer was longer and its transfer was ended
};

// libcurl's write callback: appends a piece of the answer to the
// ResponseBuffer given as user pointer; a piece that does not fit ends the
// transfer.
std::size_t CollectResponse(char* piece, std::size_t size, std::size_t count, void* buffer);

// "Połączenie TLS z serwerem pomiarów nie powiodło się: <reason>".
std::string handshakeFailedText(const std::string& reason);

// "Nie wysłano do serwera pomiarów: N." — requests dropped or left at STOP.
std::string unsentUploadsText(long long count);

// A notice for whoever watches an unattended run: "webmon: text" on standard
// error and, when toLog is set, the text in the answer log.
void reportUploadNotice(const std::string& text, const std::string& logPath, bool toLog);

class HttpUpload {
  public:
    explicit HttpUpload(const UploadSettings& settings, const UploadLimits& limits = {},
                        std::string logPath = AnswerLogFile, std::string outboxPath = OutboxFile);
    ~HttpUpload();
    HttpUpload(const HttpUpload&) = delete;
    HttpUpload& operator=(const HttpUpload&) = delete;

    // START: the worker of one recording run starts. Nothing happens when
    // the address is empty.
    void open();
    // STOP: waits at most StopWaitMs for the requests still to be sent, then
    // leaves them; reports the requests of the run that were not sent (on
    // standard error, and in the answer log when it is on) and returns their
    // count. With BUFFER=1 what waits stays in the outbox, and the readings
    // the run lost for the server are reported (always in the answer log) and
    // counted instead.
    long long close();
    bool isOpen() const { return worker_ != nullptr; }

    // Hands the request for the reading just recorded to the worker (with
    // BUFFER=1: stores the reading in the outbox first); 1 when the upload is
    // active (whatever becomes of the request), 0 when it is not.
    int UploadReading(const UploadReadingValues& reading);

    UploadState state() const;
    OutboxLosses losses() const { return outbox_.losses(); }

  private:
    class Worker;

    const UploadSettings& settings_;
    UploadLimits limits_;
    std::string logPath_;
    Outbox outbox_;
    std::unique_ptr<Worker> worker_;  // while open
};

}  // namespace dkq
