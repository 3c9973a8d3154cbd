#include "tools/checked_output.h"

#include <cerrno>

namespace dkq::tool {

void CheckedOutput::fail() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

std::streamsize CheckedOutput::xsputn(const char* text, std::streamsize count) {
    if (error_ != 0 || count <= 0) return 0;
    errno = 0;
    const auto written = std::fwrite(text, 1, static_cast<size_t>(count), file_);
    if (written != static_cast<size_t>(count)) fail();
    return static_cast<std::streamsize>(written);
}

CheckedOutput::int_type CheckedOutput::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char character = traits_type::to_char_type(c);
    return xsputn(&character, 1) == 1 ? c : traits_type::eof();
}

int CheckedOutput::sync() {
    if (error_ != 0) return -1;
    errno = 0;
    if (std::fflush(file_) == 0) return 0;
    fail();
    return -1;
}

}  // namespace dkq::tool
