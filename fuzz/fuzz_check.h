// What the harnesses share: a check that stops the run (libFuzzer reports it
// as a crash with the input) and the input read from the front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

namespace dkq::fuzz {

inline void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// Takes control bytes from the front of the input, then the rest as text.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}
    std::uint8_t take() {
        if (bytes_.empty()) return 0;
        const std::uint8_t b = bytes_.front();
        bytes_ = bytes_.subspan(1);
        return b;
    }
    std::span<const std::uint8_t> rest() const { return bytes_; }
    std::string_view text() const {
        return {reinterpret_cast<const char*>(bytes_.data()), bytes_.size()};
    }

  private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace dkq::fuzz
