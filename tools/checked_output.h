// Standard output that can tell why it could not be written: a full disk or
// a closed pipe must not pass for success in a script.
#pragma once

#include <cstdio>
#include <streambuf>

namespace dkq::tool {

// Passes every write on to a C stream at once (as std::cout does when synced
// with stdio) and keeps the system's error code of the first write or flush
// that failed; from then on every write is refused, so the stream fails.
class CheckedOutput final : public std::streambuf {
  public:
    explicit CheckedOutput(std::FILE* file) : file_(file) {}
    // 0, or the error code of the first failure (errno).
    int error() const { return error_; }

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

  private:
    void fail();

    std::FILE* file_;
    int error_ = 0;
};

}  // namespace dkq::tool
