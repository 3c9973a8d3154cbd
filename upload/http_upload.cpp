#include "upload/http_upload.h"

#include <curl/curl.h>

#include <algorithm>

#include "common/text_file.h"

namespace dkq {
namespace {

// The log is a text file: line ends become CR LF, as everywhere in the suite.
std::string withCrLf(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    return bytes;
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

HttpUpload::HttpUpload(const UploadSettings& settings, UploadTimeouts timeouts, std::string logPath)
    : settings_(settings), timeouts_(timeouts), logPath_(std::move(logPath)) {}

HttpUpload::~HttpUpload() {
    close();
}

void HttpUpload::open() {
    if (settings_.address.empty() || handle_ != nullptr) return;
    response_ = {};
    handle_ = curl_easy_init();
}

void HttpUpload::close() {
    if (handle_ == nullptr) return;
    curl_easy_cleanup(static_cast<CURL*>(handle_));
    handle_ = nullptr;
    response_ = {};
}

int HttpUpload::UploadReading(const UploadReadingValues& reading) {
    if (!settings_.active()) return 0;
    const std::string request = uploadRequest(settings_, reading);
    response_ = {};
    if (handle_ == nullptr) return 1;
    send(request);
    if (!response_.bytes.empty() && settings_.logResponses != 0) logAnswer(request);
    return 1;
}

void HttpUpload::send(const std::string& request) {
    CURL* handle = static_cast<CURL*>(handle_);
    curl_easy_setopt(handle, CURLOPT_URL, request.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &CollectResponse);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response_);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, UploadUserAgent);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, timeouts_.connectMs);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, timeouts_.totalMs);
    curl_easy_perform(handle);
}

// "\nGET <request>\n" and the answer's bytes as received; a log that cannot
// be written is skipped.
void HttpUpload::logAnswer(const std::string& request) const {
    appendToFile(logPath_, withCrLf("\nGET " + request + "\n" + response_.bytes));
}

}  // namespace dkq
