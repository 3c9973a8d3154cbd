// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/access/secrets.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dkq::collector {
namespace {

// The six bits of a base64 digit, or -1.
int sextetOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::optional<std::string> readSecretFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat status {};
    std::string text;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = path + ": not a regular file";
    } else if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        error = path + ": its group or others may use it; chmod 600 " + path;
    } else if (static_cast<std::size_t>(status.st_size) > MaxSecretFileBytes) {
        error = path + ": over 1 MiB";
    } else {
        text.resize(static_cast<std::size_t>(status.st_size));
        std::size_t got = 0;
        for (ssize_t n = 1; got < text.size() && n > 0; got += static_cast<std::size_t>(n))
            if ((n = read(fd, text.data() + got, text.size() - got)) < 0) n = 0;
        if (got != text.size()) error = path + ": cannot be read";
    }
    close(fd);
    if (!error.empty()) return std::nullopt;
    return text;
}

bool sameSecret(std::string_view a, std::string_view b) {
    // Every byte of the longer text is looked at, whatever the differences.
    const std::size_t length = std::max(a.size(), b.size());
    unsigned difference = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < length; ++i) {
        const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
        const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
        difference |= x ^ y;
    }
    return difference == 0;
}

std::optional<std::string_view> credentialsOf(std::string_view authorization,
                                              std::string_view scheme) {
    if (authorization.size() <= scheme.size() || authorization[scheme.size()] != ' ')
        return std::nullopt;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (lower(authorization[i]) != lower(scheme[i])) return std::nullopt;
    }
    return authorization.substr(scheme.size() + 1);
}

std::optional<std::string> decodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=')
        ++padding;
    std::string bytes;
    unsigned bits = 0;
    int held = 0;
    for (std::size_t i = 0; i < text.size() - padding; ++i) {
        const int sextet = sextetOf(text[i]);
        if (sextet < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<unsigned>(sextet);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes += static_cast<char>((bits >> held) & 0xFF);
        }
    }
    // Padding stands only for the bits a last group lacks, and they are zero.
    if ((bits & ((1U << held) - 1)) != 0) return std::nullopt;
    return bytes;
}

}  // namespace dkq::collector
