#include "sim/pty_front_end.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace dkq::sim {
namespace {

std::string failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool makeRaw(int fd) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return false;
    ::cfmakeraw(&settings);
    return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Replaces a symbolic link, never a file that is something else.
bool placeLink(const std::string& link, const std::string& device, std::string& error) {
    struct stat existing {};
    if (::lstat(link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            error = link + ": exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(device.c_str(), link.c_str()) != 0) {
        error = failure(link);
        return false;
    }
    return true;
}

std::string linkTarget(const std::string& link) {
    std::array<char, 4096> target{};
    const ssize_t n = ::readlink(link.c_str(), target.data(), target.size() - 1);
    return n > 0 ? std::string(target.data(), static_cast<size_t>(n)) : std::string();
}

}  // namespace

std::unique_ptr<PtyFrontEnd> PtyFrontEnd::open(const std::string& link, LineHandler& lines,
                                               const SessionSettings& settings,
                                               std::string& error) {
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    std::array<char, 256> device{};
    if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
        ::ptsname_r(master.get(), device.data(), device.size()) != 0) {
        error = failure("pseudo-terminal");
        return nullptr;
    }
    UniqueFd slave(::open(device.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave || !makeRaw(slave.get()) ||
        ::fcntl(master.get(), F_SETFL, ::fcntl(master.get(), F_GETFL) | O_NONBLOCK) != 0) {
        error = failure(device.data());
        return nullptr;
    }
    if (!placeLink(link, device.data(), error)) return nullptr;
    return std::unique_ptr<PtyFrontEnd>(
        new PtyFrontEnd(std::move(master), std::move(slave), device.data(), link, lines, settings));
}

PtyFrontEnd::~PtyFrontEnd() {
    if (linkTarget(link_) == device_) ::unlink(link_.c_str());
}

// The held slave keeps the master open; a read failure means the
// pseudo-terminal itself is gone. Closing is for TCP: a client of the
// serial line cannot be disconnected.
bool PtyFrontEnd::afterPoll(const PollSet& poll, TimePoint now) {
    return port_.afterPoll(poll, now) != Port::Status::PeerGone;
}

}  // namespace dkq::sim
