#include "upload/upload_settings.h"

#include <algorithm>
#include <vector>

#include "common/plain_file.h"
#include "common/text.h"
#include "common/text_file.h"
#include "upload/http_upload.h"

namespace dkq {
namespace {

constexpr std::string_view HttpScheme = "http://";
constexpr std::string_view HttpsScheme = "https://";
constexpr std::string_view DefaultScript = "rec.php";

// The file as the line reader sees it: each line, line end included, in
// pieces of at most UploadLinePieceChars characters.
std::vector<std::string_view> linePieces(std::string_view text) {
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        std::size_t length = std::min(text.size(), UploadLinePieceChars);
        if (const std::size_t end = text.substr(0, length).find('\n');
            end != std::string_view::npos)
            length = end + 1;
        pieces.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return pieces;
}

// The text after the first occurrence of key, or nothing.
bool afterKey(std::string_view line, std::string_view key, std::string_view& rest) {
    const std::size_t pos = line.find(key);
    if (pos == std::string_view::npos) return false;
    rest = line.substr(pos + key.size());
    return true;
}

void readNumber(std::string_view rest, int& value) {
    const std::vector<int> numbers = scanIntList(rest, 1);
    if (!numbers.empty()) value = numbers[0];
}

// Every run of digits is a register number; 1..20 selects that register.
void selectRegisters(std::string_view rest, std::array<bool, EntryCount>& registers) {
    std::size_t pos = 0;
    while (pos < rest.size()) {
        if (rest[pos] < '0' || rest[pos] > '9') {
            ++pos;
            continue;
        }
        long number = 0;
        for (; pos < rest.size() && rest[pos] >= '0' && rest[pos] <= '9'; ++pos)
            number = std::min(number * 10 + (rest[pos] - '0'), 1000L);
        if (number >= 1 && number <= EntryCount)
            registers[static_cast<std::size_t>(number - 1)] = true;
    }
}

void applyLine(std::string_view line, UploadSettings& settings) {
    if (line.starts_with('#')) return;
    std::string_view rest;
    if (afterKey(line, "UID=", rest)) readNumber(rest, settings.uid);
    if (afterKey(line, "URL=", rest)) {
        // A word too long for the address field is not taken.
        const std::string word = firstWord(rest);
        if (!word.empty() && word.size() <= MaxUrlWordChars) settings.address = word;
    }
    if (afterKey(line, "INREGS=", rest)) selectRegisters(rest, settings.registers);
    if (afterKey(line, "LOGRESP=", rest)) readNumber(rest, settings.logResponses);
    if (afterKey(line, "BUFFER=", rest)) readNumber(rest, settings.buffer);
    if (afterKey(line, "TOKEN=", rest)) settings.token = firstWord(rest);
    if (afterKey(line, "CAFILE=", rest)) settings.caFile = firstWord(rest);
}

// ASCII letters only: the address is sent as written otherwise.
std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// Bytes below the blank and DEL: libcurl would cut the request at a NUL or
// refuse it without a word.
bool holdsControlByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

std::string refusedAddressText() {
    return "Adres URL w pliku web-monitor.dat zawiera znak sterujący: wysyłanie do serwera "
           "wyłączone.";
}

std::string unreadableCaFileText(const std::string& name) {
    return "Nie można odczytać pliku CAFILE=" + name +
           " (plik w folderze roboczym): wysyłanie do serwera wyłączone.";
}

std::string completeAddress(std::string_view address) {
    std::string completed = lowerCase(address);
    const bool https = completed.starts_with(HttpsScheme);
    if (https) completed.erase(0, HttpsScheme.size());
    if (completed.starts_with(HttpScheme)) completed.erase(0, HttpScheme.size());
    if (!completed.empty() && completed.find(".php") == std::string::npos) {
        if (completed.back() == '/') completed.pop_back();
        completed += "/";
        completed += DefaultScript;
    }
    if (completed.size() > MaxUploadAddressChars - (https ? 1 : 0)) completed.clear();
    return completed;
}

UploadSettings parseUploadSettings(std::string_view fileText) {
    UploadSettings settings;
    for (const std::string_view piece : linePieces(fileText)) applyLine(piece, settings);
    // The token goes into a header line: a control byte would end it.
    settings.addressRefused =
        holdsControlByte(settings.address) || holdsControlByte(settings.token);
    settings.https = lowerCase(settings.address).starts_with(HttpsScheme);
    settings.address = settings.addressRefused ? "" : completeAddress(settings.address);
    return settings;
}

bool loadUploadSettings(UploadSettings& settings, const std::string& path,
                        const std::string& logPath) {
    settings = UploadSettings{};
    std::string bytes;
    if (readWholeFile(path, bytes, MaxTextFileBytes) != FileRead::Ok) return false;
    settings = parseUploadSettings(bytes);
    if (settings.addressRefused) reportUploadNotice(refusedAddressText(), logPath, true);
    if (!settings.caFile.empty() &&
        (settings.caFile.find_first_of("/\\") != std::string::npos ||
         readWholeFile(settings.caFile, settings.caBundle, MaxTextFileBytes) != FileRead::Ok)) {
        reportUploadNotice(unreadableCaFileText(settings.caFile), logPath, true);
        settings.address.clear();
    }
    return true;
}

}  // namespace dkq
