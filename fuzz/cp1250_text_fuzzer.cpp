// The Windows-1250 codec and the text helpers every file format reads with.
// Any byte string survives cp1250 -> UTF-8 -> cp1250; UTF-8 that came out of
// the codec goes back whole; the capitals of page letters are page letters;
// upper case never grows a text and leaves its own result unchanged.
#include "common/cp1250.h"
#include "common/text.h"
#include "fuzz/fuzz_check.h"

using namespace dkq;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::size_t limit = input.take();
    const std::string_view bytes = input.text();

    const std::string utf8 = cp1250ToUtf8(bytes);
    fuzz::check(utf8ToCp1250(utf8) == bytes, "every byte string round-trips");
    const std::string encoded = utf8ToCp1250(bytes);
    fuzz::check(encoded.size() <= bytes.size(), "one byte per character at most");

    const std::string upper = toUpperText(utf8);
    fuzz::check(toUpperText(upper) == upper, "upper case is settled");
    fuzz::check(cp1250ToUtf8(utf8ToCp1250(upper)) == upper, "page letters have page capitals");
    fuzz::check(toUpperText(bytes).size() <= bytes.size(), "upper case never grows");

    const std::string cut = limitChars(utf8, limit);
    fuzz::check(utf8.compare(0, cut.size(), cut) == 0, "a cut text is a prefix");
    for (const auto& line : decodeTextLines(bytes)) {
        scanIntList(line, 20);
        firstWord(line);
    }
    const auto words = splitCommandLine(utf8);
    fuzz::check(words.size() <= MaxCommandWords, "at most ten words");
    encodeTextFile(utf8);
    return 0;
}
