#include "upload/outbox.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "common/text_file.h"
#include "upload/outbox_journal.h"

namespace dkq {
namespace {

// The head is marked, and the blocks behind it handed back, every MiB of progress.
constexpr std::uint64_t MarkStepBytes = 1 << 20;
constexpr std::uint64_t BlockBytes = 4096;
constexpr std::size_t ScanChunkBytes = 1 << 20;

std::string openFailureText(const std::string& path, const std::string& reason) {
    return "Nie można otworzyć kolejki do serwera " + fileNameOf(path) + ": " + reason + ".";
}

std::string systemFailure(int error) {
    if (error == ELOOP) return "to dowiązanie symboliczne";
    return "błąd systemu " + std::to_string(error);
}

}  // namespace

std::string outboxLossesText(const OutboxLosses& losses) {
    return "Pomiarów odrzuconych przez serwer: " + std::to_string(losses.refused) +
           ", usuniętych z pełnej kolejki: " + std::to_string(losses.overflowed) +
           ", niezapisanych w kolejce: " + std::to_string(losses.unstored) + ".";
}

Outbox::Outbox(std::string path, const OutboxLimits& limits)
    : path_(std::move(path)), limits_(limits) {}

Outbox::~Outbox() {
    close();
}

bool Outbox::open() {
    const std::lock_guard lock(mutex_);
    losses_ = {};
    problem_.clear();
    return fd_ >= 0 || openFile();
}

void Outbox::close() {
    const std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    if (headPending_) markHead();
    fdatasync(fd_);
    ::close(fd_);  // lets the lock go
    fd_ = -1;
}

bool Outbox::openFile() {
    const int fd = openForUpdate(path_);
    if (fd < 0) {
        problem_ = openFailureText(path_, systemFailure(errno));
        return false;
    }
    struct stat status {};
    std::string reason;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        reason = "to nie jest zwykły plik";
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        reason = errno == EWOULDBLOCK ? "używa jej inny program" : systemFailure(errno);
    if (!reason.empty()) {
        ::close(fd);
        problem_ = openFailureText(path_, reason);
        return false;
    }
    fd_ = fd;
    if (!scanFile()) {
        problem_ = openFailureText(path_, systemFailure(errno));
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

// Reads what waits from the first block that holds data; a torn last line is cut off.
bool Outbox::scanFile() {
    struct stat status {};
    if (fstat(fd_, &status) != 0) return false;
    const auto size = static_cast<std::uint64_t>(status.st_size);
    const off_t data = lseek(fd_, 0, SEEK_DATA);
    const std::uint64_t start = data < 0 ? size : static_cast<std::uint64_t>(data);
    OutboxScan scan(start);
    std::string chunk(ScanChunkBytes, '\0');
    for (std::uint64_t at = start; at < size;) {
        const ssize_t n = pread(fd_, chunk.data(), std::min<std::uint64_t>(chunk.size(), size - at),
                                static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        scan.feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
        at += static_cast<std::uint64_t>(n);
    }
    head_ = marked_ = scan.head();
    end_ = scan.wholeEnd();
    punched_ = start;
    waiting_ = scan.waiting();
    headPending_ = false;
    ++generation_;
    if (waiting_ == 0)
        emptyFile();
    else if (end_ < size && ftruncate(fd_, static_cast<off_t>(end_)) != 0)
        return false;
    return true;
}

bool Outbox::add(std::string_view query) {
    const std::lock_guard lock(mutex_);
    if (!fitsOutbox(query) || (fd_ < 0 && !openFile())) {
        ++losses_.unstored;
        return false;
    }
    makeRoom();
    std::string bytes = headPending_ ? outboxHeadLine(head_, waiting_) : "";
    bytes += outboxReadingLine(query);
    // A line across a block boundary costs the disk two blocks: when the
    // next line would not fit in this block either, empty lines fill it.
    const std::uint64_t blockRoom = BlockBytes - (end_ + bytes.size()) % BlockBytes;
    if (blockRoom < bytes.size()) bytes.append(blockRoom, '\n');
    if (!appendDurably(bytes)) {
        ++losses_.unstored;
        return false;
    }
    if (headPending_) marked_ = head_;
    headPending_ = false;
    ++waiting_;
    return true;
}

// Past the bound, and while the disk runs short, the oldest readings make
// room for the new one.
void Outbox::makeRoom() {
    long long room = limits_.maxReadings - 1;
    if (waiting_ > 0 && freeBytes() < limits_.minFreeBytes) room = std::min(room, waiting_ - 1);
    while (waiting_ > std::max(room, 0LL)) {
        const std::optional<Entry> oldest = oldestLocked();
        if (!oldest) return;
        ++losses_.overflowed;
        leave(oldest->end);
    }
}

std::optional<Outbox::Entry> Outbox::oldest() {
    const std::lock_guard lock(mutex_);
    return fd_ < 0 ? std::nullopt : oldestLocked();
}

// The first reading line from the head on; lines that are no reading (head
// lines, spoiled ones) are passed over.
std::optional<Outbox::Entry> Outbox::oldestLocked() {
    std::string buffer(MaxOutboxLineBytes + 1, '\0');
    std::uint64_t at = head_;
    bool spoiled = false;  // within a line too long to be one of ours
    while (waiting_ > 0 && at < end_) {
        const ssize_t n =
            pread(fd_, buffer.data(), std::min<std::uint64_t>(buffer.size(), end_ - at),
                  static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;  // tried again at the next call
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(n));
        const std::size_t newline = bytes.find('\n');
        if (newline == std::string_view::npos) {
            spoiled = true;
            at += static_cast<std::uint64_t>(n);
            continue;
        }
        const OutboxLine line = spoiled ? OutboxLine{} : parseOutboxLine(bytes.substr(0, newline));
        spoiled = false;
        at += newline + 1;
        if (line.kind == OutboxLine::Kind::Reading)
            return Entry{std::string(line.query), at, generation_};
    }
    // The count and the file disagree: a line was spoiled on the disk.
    if (waiting_ > 0) {
        losses_.unstored += waiting_;
        waiting_ = 0;
        emptyFile();
    }
    return std::nullopt;
}

void Outbox::settle(const Entry& entry, bool stored) {
    const std::lock_guard lock(mutex_);
    if (fd_ < 0) return;
    if (entry.generation != generation_ || entry.end <= head_) {
        // Dropped past the bounds while it was on its way: it arrived after all.
        if (stored && losses_.overflowed > 0) --losses_.overflowed;
        return;
    }
    if (!stored) ++losses_.refused;
    leave(entry.end);
}

void Outbox::leave(std::uint64_t end) {
    head_ = end;
    --waiting_;
    headPending_ = true;
    if (waiting_ == 0)
        emptyFile();
    else if (head_ - marked_ >= MarkStepBytes)
        markHead();
}

bool Outbox::appendDurably(const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = pwrite(fd_, bytes.data() + written, bytes.size() - written,
                                 static_cast<off_t>(end_ + written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    if (written == bytes.size() && fdatasync(fd_) == 0) {
        end_ += bytes.size();
        return true;
    }
    // Cut back, so that a later line does not follow a torn one.
    [[maybe_unused]] const int cut = ftruncate(fd_, static_cast<off_t>(end_));
    return false;
}

// The head line, not waited for; then the whole blocks behind the head go back.
void Outbox::markHead() {
    const std::string line = outboxHeadLine(head_, waiting_);
    if (pwrite(fd_, line.data(), line.size(), static_cast<off_t>(end_)) !=
        static_cast<ssize_t>(line.size())) {
        [[maybe_unused]] const int cut = ftruncate(fd_, static_cast<off_t>(end_));
        return;
    }
    end_ += line.size();
    marked_ = head_;
    headPending_ = false;
    const std::uint64_t behind = head_ / BlockBytes * BlockBytes;
    if (behind > punched_ &&
        fallocate(fd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(punched_),
                  static_cast<off_t>(behind - punched_)) == 0)
        punched_ = behind;
}

// Nothing waits: the file starts afresh. Should it not be cut, a head line
// says the same.
void Outbox::emptyFile() {
    if (ftruncate(fd_, 0) != 0) {
        markHead();
        return;
    }
    head_ = end_ = marked_ = punched_ = 0;
    headPending_ = false;
    ++generation_;
}

std::uint64_t Outbox::freeBytes() const {
    struct statvfs disk {};
    if (fstatvfs(fd_, &disk) != 0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
}

OutboxLosses Outbox::losses() const {
    const std::lock_guard lock(mutex_);
    return losses_;
}

std::string Outbox::problem() const {
    const std::lock_guard lock(mutex_);
    return problem_;
}

}  // namespace dkq
