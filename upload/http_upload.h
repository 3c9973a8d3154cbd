// The upload over HTTP: one GET request per recorded reading through one
// libcurl easy handle per recording run, the server's answer kept for the
// answer log "log_http.log". Every request ends within bounded time: a server
// that accepts and never answers, or an address whose packets are dropped,
// costs at most the total time-out, and an answer longer than the buffer ends
// its transfer.
#pragma once

#include <cstddef>
#include <string>

#include "upload/upload_request.h"
#include "upload/upload_settings.h"

namespace dkq {

inline constexpr const char* AnswerLogFile = "log_http.log";
inline constexpr std::size_t MaxAnswerBytes = 64 * 1024;

struct UploadTimeouts {
    long connectMs = 2000;
    long totalMs = 4000;
};

// libcurl's global state, set up once when the program starts and released
// when it ends: one instance lives in main().
class CurlLibrary {
  public:
    CurlLibrary();
    ~CurlLibrary();
    CurlLibrary(const CurlLibrary&) = delete;
    CurlLibrary& operator=(const CurlLibrary&) = delete;
};

// The server's answer to the last request, at most MaxAnswerBytes.
struct ResponseBuffer {
    std::string bytes;
    bool cut = false;  // the answer was longer and its transfer was ended
};

// libcurl's write callback: appends a piece of the answer to the
// ResponseBuffer given as user pointer; a piece that does not fit ends the
// transfer.
std::size_t CollectResponse(char* piece, std::size_t size, std::size_t count, void* buffer);

class HttpUpload {
  public:
    explicit HttpUpload(const UploadSettings& settings, UploadTimeouts timeouts = {},
                        std::string logPath = AnswerLogFile);
    ~HttpUpload();
    HttpUpload(const HttpUpload&) = delete;
    HttpUpload& operator=(const HttpUpload&) = delete;

    // START and STOP: the easy handle of one recording run. Nothing happens
    // when the address is empty.
    void open();
    void close();
    bool isOpen() const { return handle_ != nullptr; }

    // Sends the request for the reading just recorded; 1 when the upload is
    // active (whatever became of the request), 0 when it is not.
    int UploadReading(const UploadReadingValues& reading);

    const ResponseBuffer& response() const { return response_; }

  private:
    void send(const std::string& request);
    void logAnswer(const std::string& request) const;

    const UploadSettings& settings_;
    UploadTimeouts timeouts_;
    std::string logPath_;
    void* handle_ = nullptr;  // the libcurl easy handle while open
    ResponseBuffer response_;
};

}  // namespace dkq
