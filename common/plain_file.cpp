#include "common/plain_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dkq {

namespace fs = std::filesystem;

fs::path pathFromUtf8(const std::string& utf8) {
#ifdef _WIN32
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    const int wideSize = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), wideSize);
    return fs::path(wide);
#else
    return fs::path(utf8);
#endif
}

namespace {

#ifdef _WIN32

int openForReading(const fs::path& path) {
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

// The length of a regular file; -1 for anything else.
long long regularFileLength(int fd) {
    struct _stat64 status {};
    if (_fstat64(fd, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG) return -1;
    return status.st_size;
}

long long readSome(int fd, char* data, std::size_t size) {
    return _read(fd, data, static_cast<unsigned>(size));
}

void closeFile(int fd) {
    _close(fd);
}

// A new file where nothing, not even a link, had the name (errno EEXIST
// otherwise). Its attributes and access rights come from the replaced file
// when replaceFile puts it in place.
int createNewLike(const fs::path& path, const fs::path&) {
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

int processId() {
    return _getpid();
}

std::FILE* streamOf(int fd) {
    return _fdopen(fd, "wb");
}

bool pushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// ReplaceFileW keeps the replaced file's attributes and access rights. It is
// given full paths: wine's refuses a bare name (ERROR_DIRECTORY). A reparse
// point (a link) at the name is itself replaced: moving over it does not
// follow it, and its attributes are not a file's to keep.
bool replaceFile(const fs::path& from, const fs::path& to) {
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return MoveFileExW(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    std::error_code fromError;
    std::error_code toError;
    const fs::path fullFrom = fs::absolute(from, fromError);
    const fs::path fullTo = fs::absolute(to, toError);
    return !fromError && !toError &&
           ReplaceFileW(fullTo.c_str(), fullFrom.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                        nullptr, nullptr) != 0;
}

#else

int openForReading(const fs::path& path) {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    int fd = -1;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    return fd;
}

long long regularFileLength(int fd) {
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
    return status.st_size;
}

long long readSome(int fd, char* data, std::size_t size) {
    ssize_t n = -1;
    do n = ::read(fd, data, size);
    while (n < 0 && errno == EINTR);
    return n;
}

void closeFile(int fd) {
    ::close(fd);
}

// A new file where nothing, not even a link, had the name (errno EEXIST
// otherwise), with the permissions of model when that is a regular file: a
// link there is not looked through, and its own permissions are no file's.
int createNewLike(const fs::path& path, const fs::path& model) {
    int fd = -1;
    do fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return fd;
    struct stat replaced {};
    if (::lstat(model.c_str(), &replaced) != 0 || !S_ISREG(replaced.st_mode) ||
        ::fchmod(fd, replaced.st_mode & 07777) == 0)
        return fd;
    ::close(fd);
    ::unlink(path.c_str());
    return -1;
}

int processId() {
    return static_cast<int>(::getpid());
}

std::FILE* streamOf(int fd) {
    return ::fdopen(fd, "wb");
}

bool pushToDisk(std::FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

// The folder's entry is pushed to the disk too, so that after a power cut
// the name holds the new file, not the old one or none. rename() replaces a
// link at the name, never what it points to.
bool replaceFile(const fs::path& from, const fs::path& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
    const fs::path folder = to.has_parent_path() ? to.parent_path() : fs::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // Some file systems cannot sync a folder; the file itself is on the disk.
        fsync(fd);
        ::close(fd);
    }
    return true;
}

#endif

constexpr int MaxNameAttempts = 16;

// "<name>.saving-<process>-<random>": the process and a random number keep
// two saves of one name, in one program or in two, apart. The first attempt
// takes the tag SavingTagVariable names when it is set, so that a test can
// plant a file or link at the name a save really tries first.
fs::path temporaryNameFor(const fs::path& target, int attempt) {
    const char* tag = attempt == 0 ? std::getenv(SavingTagVariable) : nullptr;
    char suffix[40];
    if (tag != nullptr && *tag != '\0')
        std::snprintf(suffix, sizeof suffix, ".saving-%.24s", tag);
    else
        std::snprintf(suffix, sizeof suffix, ".saving-%x-%08x", static_cast<unsigned>(processId()),
                      static_cast<unsigned>(std::random_device{}()));
    fs::path name = target;
    name += suffix;
    return name;
}

// A new temporary file beside target; -1 when none can be created.
int createTemporaryFor(const fs::path& target, fs::path& temporary) {
    for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
        temporary = temporaryNameFor(target, attempt);
        const int fd = createNewLike(temporary, target);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Writes bytes, pushes them to the disk and closes the file.
bool fillAndClose(int fd, std::string_view bytes) {
    std::FILE* file = streamOf(fd);
    if (file == nullptr) {
        closeFile(fd);
        return false;
    }
    // An empty view may have no data at all, which fwrite may not be given.
    const bool written =
        (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size()) &&
        pushToDisk(file);
    return std::fclose(file) == 0 && written;
}

FileRead readOpenFile(int fd, std::string& bytes, std::size_t maxBytes, std::uintmax_t* length) {
    const long long size = regularFileLength(fd);
    if (size < 0) return FileRead::NotRegular;
    if (length != nullptr) *length = static_cast<std::uintmax_t>(size);
    if (static_cast<std::uintmax_t>(size) > maxBytes) return FileRead::TooLong;
    std::string content;
    content.reserve(static_cast<std::size_t>(size));
    // Up to one byte past the bound, which shows a file that grew meanwhile.
    char chunk[4096];
    while (content.size() <= maxBytes) {
        const long long n =
            readSome(fd, chunk, std::min(sizeof chunk, maxBytes + 1 - content.size()));
        if (n < 0) return FileRead::Unreadable;
        if (n == 0) break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    if (content.size() > maxBytes) return FileRead::TooLong;
    bytes = std::move(content);
    return FileRead::Ok;
}

}  // namespace

FileRead readWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes,
                       std::uintmax_t* length) {
    const int fd = openForReading(pathFromUtf8(path));
    if (fd < 0) return FileRead::Unreadable;
    const FileRead result = readOpenFile(fd, bytes, maxBytes, length);
    closeFile(fd);
    return result;
}

bool writeWholeFile(const std::string& path, std::string_view bytes) {
    const fs::path target = pathFromUtf8(path);
    fs::path temporary;
    const int fd = createTemporaryFor(target, temporary);
    if (fd < 0) return false;
    if (fillAndClose(fd, bytes) && replaceFile(temporary, target)) return true;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return false;
}

}  // namespace dkq
