// What webmon reads from its files: "web-monitor.dat" and the outbox. A
// completed address is lower case, free of control bytes, fits its field and
// names a ".php"; an outbox journal reads the same fed whole or in pieces of
// any size, and each reading line it takes is written back byte for byte.
#include "fuzz/fuzz_check.h"
#include "upload/outbox_journal.h"
#include "upload/upload_settings.h"

using namespace dkq;
using dkq::fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    const std::size_t step = 1 + input.take();
    const std::string_view text = input.text();
    const std::string address = parseUploadSettings(text).address;
    check(address.size() <= MaxUploadAddressChars &&
              (address.empty() || address.find(".php") != std::string::npos),
          "the address fits its field and names a .php");
    for (const char c : address)
        check((c < 'A' || c > 'Z') && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F,
              "the address is lower case without control bytes");

    OutboxScan whole(7), pieces(7);
    whole.feed(text);
    for (std::size_t at = 0; at < text.size(); at += step) pieces.feed(text.substr(at, step));
    check(whole.head() == pieces.head() && whole.waiting() == pieces.waiting() &&
              whole.wholeEnd() == pieces.wholeEnd() && whole.head() <= whole.wholeEnd() &&
              whole.wholeEnd() <= 7 + text.size() && whole.waiting() >= 0,
          "pieces read as the whole, within the journal");
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        const OutboxLine line = parseOutboxLine(text.substr(start, end - start));
        if (line.kind == OutboxLine::Kind::Reading)
            check(outboxReadingLine(line.query) == text.substr(start, end - start + 1),
                  "a reading line is written back as read");
    }
    return 0;
}
