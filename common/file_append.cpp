// Files that grow by appends, written without any buffer of our own: a write
// either lands whole or the file is cut back, through the same handle, to the
// length it had before. Plain C++ on the system's file calls.
#include <filesystem>
#include <string>

#include "common/plain_file.h"
#include "common/text_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dkq {
namespace {

#ifdef _WIN32

using FileSize = long long;

int openForWriting(const std::string& path, bool truncate) {
    const int mode = _O_WRONLY | _O_CREAT | _O_BINARY | (truncate ? _O_TRUNC : _O_APPEND);
    return _wopen(pathFromUtf8(path).c_str(), mode, _S_IREAD | _S_IWRITE);
}

FileSize sizeOf(int fd) {
    return _filelengthi64(fd);
}

// Bytes written by one call, or -1.
long long writeSome(int fd, const char* data, std::size_t size) {
    constexpr std::size_t MaxChunk = 1u << 30;
    return _write(fd, data, static_cast<unsigned>(size < MaxChunk ? size : MaxChunk));
}

bool cutBack(int fd, FileSize size) {
    return _chsize_s(fd, size) == 0;
}

void closeFile(int fd) {
    _close(fd);
}

#else

using FileSize = off_t;

int openForWriting(const std::string& path, bool truncate) {
    const int mode = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
    int fd = -1;
    do fd = ::open(pathFromUtf8(path).c_str(), mode, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

FileSize sizeOf(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 ? status.st_size : -1;
}

long long writeSome(int fd, const char* data, std::size_t size) {
    ssize_t written = -1;
    do written = ::write(fd, data, size);
    while (written < 0 && errno == EINTR);
    return written;
}

bool cutBack(int fd, FileSize size) {
    return ftruncate(fd, size) == 0;
}

void closeFile(int fd) {
    ::close(fd);
}

#endif

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const long long written = writeSome(fd, bytes.data(), bytes.size());
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Writes bytes at the end (after emptying the file when truncate is set); on
// any failure the file is cut back to the length it had after opening.
bool writeWholeOrNothing(const std::string& path, std::string_view bytes, bool truncate) {
    const int fd = openForWriting(path, truncate);
    if (fd < 0) return false;
    const FileSize formerSize = sizeOf(fd);
    bool written = formerSize >= 0 && writeAll(fd, bytes);
    if (!written && formerSize >= 0) cutBack(fd, formerSize);
    closeFile(fd);
    return written;
}

}  // namespace

bool startFile(const std::string& path, std::string_view bytes) {
    return writeWholeOrNothing(path, bytes, true);
}

bool appendToFile(const std::string& path, std::string_view bytes) {
    return writeWholeOrNothing(path, bytes, false);
}

}  // namespace dkq
