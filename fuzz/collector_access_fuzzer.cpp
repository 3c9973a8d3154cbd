// SPDX-License-Identifier: GPL-3.0-or-later
// What the collector reads of a request's Authorization header and of its
// tokens file: base64 decodes to three bytes for four digits, less the
// padding; a credential ends its header; a tokens file that reads lets no
// empty token in.
#include "collector/access/secrets.h"
#include "collector/access/site_tokens.h"
#include "fuzz/fuzz_check.h"

using namespace dkq::collector;
using dkq::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = dkq::fuzz::Input(data, size).text();
    if (const auto decoded = decodeBase64(text))
        check(
            decoded->size() == text.size() / 4 * 3 - (text.size() - text.find_last_not_of('=') - 1),
            "three bytes for four digits");
    if (const auto credentials = credentialsOf(text, "Bearer"))
        check(credentials->size() + 7 == text.size(), "the credentials end the header");
    check(sameSecret(text, text) && !sameSecret(text, std::string(text) + "x"),
          "a secret equals itself alone");
    std::string error;
    if (const auto tokens = SiteTokens::read(text, error))
        check(tokens->check(0, "Bearer ") == SiteAccess::WrongToken &&
                  tokens->check(0, "") == SiteAccess::NoToken,
              "an empty token or none lets nobody in");
    return 0;
}
