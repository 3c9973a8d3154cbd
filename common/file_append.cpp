// Files that grow by appends, written without any buffer of our own: a write
// either lands whole or the file is cut back, through the same handle, to the
// length it had before. Plain C++ on the system's file calls.
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>

#include "common/plain_file.h"
#include "common/text_file.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace dkq {
namespace {

// Appended to, emptied first, or written anywhere (and read).
enum class WriteMode { Append, Truncate, Update };

#ifdef _WIN32

using FileSize = long long;

// The file at the name itself: a reparse point (a symbolic link, a junction)
// is opened as such and refused, so nothing is written where it leads.
int openForWriting(const std::string& path, WriteMode mode, bool& isLink) {
    const DWORD access = mode == WriteMode::Update ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    const HANDLE file = CreateFileW(
        pathFromUtf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = GetFileInformationByHandle(file, &information) != 0;
    isLink = known && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!known || isLink || (mode == WriteMode::Truncate && SetEndOfFile(file) == 0)) {
        CloseHandle(file);
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file),
                                   mode == WriteMode::Update ? 0 : _O_APPEND);
    if (fd < 0) CloseHandle(file);
    return fd;
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

// The file at the name itself: a symbolic link there is refused, so nothing
// is written where it leads. Non-blocking, so that a FIFO without a reader is
// refused instead of waited for.
int openForWriting(const std::string& path, WriteMode mode, bool& isLink) {
    const int flags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                      (mode == WriteMode::Update   ? O_RDWR
                       : mode == WriteMode::Append ? O_WRONLY | O_APPEND
                                                   : O_WRONLY | O_TRUNC);
    int fd = -1;
    do fd = ::open(pathFromUtf8(path).c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    struct stat name {};
    isLink = fd < 0 && ::lstat(pathFromUtf8(path).c_str(), &name) == 0 && S_ISLNK(name.st_mode);
    return fd;
}

// -1 for anything but a regular file (a FIFO, a device), which is not written.
FileSize sizeOf(int fd) {
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode) ? status.st_size : -1;
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

// Every program tells a refused link once per name on standard error, beside
// its own message for a file that cannot be opened.
void tellRefusedLink(const std::string& path) {
    constexpr std::size_t MaxToldNames = 1000;
    static std::mutex guard;
    static std::set<std::string> told;
    const std::lock_guard lock(guard);
    if (told.size() >= MaxToldNames) told.clear();
    if (told.insert(path).second)
        std::fprintf(stderr, "%s: not opened for writing: it is a symbolic link\n", path.c_str());
}

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
    bool isLink = false;
    const int fd = openForWriting(path, truncate ? WriteMode::Truncate : WriteMode::Append, isLink);
    if (isLink) tellRefusedLink(path);
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

int openForUpdate(const std::string& path) {
    bool isLink = false;
    const int fd = openForWriting(path, WriteMode::Update, isLink);
    const int error = errno;
    if (isLink) tellRefusedLink(path);
    errno = error;
    return fd;
}

}  // namespace dkq
