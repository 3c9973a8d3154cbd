// What the collector reads of a request's Authorization header and of its
// tokens file: base64 that decodes encodes back the same, a credential is the
// tail of its header, a tokens file that reads lets exactly its own tokens in.
#include <string>

#include "collector/access/secrets.h"
#include "collector/access/site_tokens.h"
#include "fuzz/fuzz_check.h"

using namespace dkq::collector;
using dkq::fuzz::check;

namespace {

std::string encodeBase64(const std::string& bytes) {
    constexpr const char* Digits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned group = 0;
        for (std::size_t j = 0; j < 3; ++j)
            group =
                group << 8 | (i + j < bytes.size() ? static_cast<unsigned char>(bytes[i + j]) : 0);
        for (std::size_t j = 0; j < 4; ++j)
            text += j <= bytes.size() - i ? Digits[(group >> (18 - 6 * j)) & 63] : '=';
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    dkq::fuzz::Input input(data, size);
    const std::string_view text = input.text();
    if (const auto decoded = decodeBase64(text))
        check(encodeBase64(*decoded) == text, "base64 encodes back the same");
    if (const auto credentials = credentialsOf(text, "Bearer"))
        check(text.ends_with(*credentials) && credentials->size() + 7 == text.size(),
              "the credentials end the header");
    check(sameSecret(text, text) && !sameSecret(text, std::string(text) + "x"),
          "a secret equals itself alone");
    std::string error;
    if (const auto tokens = SiteTokens::read(text, error))
        check(tokens->check(0, "Bearer ") == SiteAccess::WrongToken &&
                  tokens->check(0, "") == SiteAccess::NoToken,
              "an empty token or none lets nobody in");
    return 0;
}
