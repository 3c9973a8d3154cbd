// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/alerts/alert_messages.h"

#include <algorithm>
#include <ctime>
#include <set>

#include "collector/base/instant.h"
#include "collector/base/json_text.h"
#include "collector/base/numbers.h"
#include "common/cp1250.h"

namespace dkq::collector {
namespace {

void appendHex(std::string& out, unsigned char byte) {
    constexpr char Hex[] = "0123456789ABCDEF";
    out += '=';
    out += Hex[byte >> 4];
    out += Hex[byte & 0xf];
}

// Unstructured header text as RFC 2047 "Q" encoded words, none splitting a
// character, on lines of at most 78 characters (the first after `name`).
std::string encodedWords(std::string_view name, std::string_view text) {
    constexpr std::string_view Open = "=?UTF-8?Q?", Close = "?=";
    constexpr std::size_t MaxLine = 78;
    std::string out = std::string(name) + ": " + std::string(Open);
    std::size_t lineLength = out.size();
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t next = pos;
        nextCodePoint(text, next);
        std::string piece;
        for (; pos < next; ++pos) {
            const auto c = static_cast<unsigned char>(text[pos]);
            if (c == ' ')
                piece += '_';
            else if (c > ' ' && c <= '~' && c != '=' && c != '?' && c != '_')
                piece += char(c);
            else
                appendHex(piece, c);
        }
        if (lineLength + piece.size() + Close.size() > MaxLine) {
            out += std::string(Close) + "\r\n " + std::string(Open);
            lineLength = 1 + Open.size();
        }
        out += piece;
        lineLength += piece.size();
    }
    return out + std::string(Close);
}

// Quoted-printable (RFC 2045): lines of at most 76 characters, soft breaks
// ending in "=", CR LF at the end of every line of the text.
std::string quotedPrintable(std::string_view text) {
    constexpr std::size_t MaxLine = 75;  // and the "=" of a soft break
    std::string out;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::size_t length = 0;
        for (std::size_t i = start; i < end; ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            std::string piece;
            if ((c > ' ' && c <= '~' && c != '=') || (c == ' ' && i + 1 < end))
                piece = char(c);
            else
                appendHex(piece, c);
            if (length + piece.size() > MaxLine) {
                out += "=\r\n";
                length = 0;
            }
            out += piece;
            length += piece.size();
        }
        out += "\r\n";
        start = end + 1;
    }
    return out;
}

// As a Polish reader writes numbers: "21,4".
std::string polishNumber(double value) {
    std::string text;
    appendNumber(text, value);
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

// "21,4; 4,500; 120".
std::string polishValues(const std::string& data) {
    if (data.empty()) return "brak wartości";
    std::string text;
    for (const char c : data) text += c == ',' ? "; " : std::string(1, c == '.' ? ',' : c);
    return text;
}

std::string utcText(std::int64_t ms) {
    return csvTime(ms) + " UTC";
}

// "Tue, 05 Mar 2024 09:00:05 +0000": the C locale's day and month names.
std::string mailDate(std::int64_t ms) {
    const std::time_t seconds = ms / 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    return text;
}

}  // namespace

std::string alertJson(const Alert& alert, bool firing) {
    std::string out = "{\"rule\":";
    appendJsonString(out, alert.rule);
    out += firing ? ",\"state\":\"firing\"" : ",\"state\":\"resolved\"";
    out += ",\"uid\":" + std::to_string(alert.uid);
    if (alert.position > 0) out += ",\"position\":" + std::to_string(alert.position);
    if (alert.value) {
        out += ",\"value\":";
        appendNumber(out, *alert.value);
    }
    return out + ",\"time\":\"" + isoTime(alert.timeMs) + "\"}";
}

std::string firingJson(std::span<const Alert> alerts) {
    std::string out = "[";
    for (const Alert& alert : alerts) {
        if (out.size() > 1) out += ',';
        out += alertJson(alert, true);
    }
    return out + "]";
}

void appendAlertMetrics(std::string& out, std::span<const AlertRule> rules,
                        std::span<const SiteSummary> sites, std::span<const Alert> firing) {
    out +=
        "# HELP dkq_alert_firing 1 while the rule's alert for the site fires, else 0.\n"
        "# TYPE dkq_alert_firing gauge\n";
    std::set<std::pair<std::string_view, std::int32_t>> fires;
    for (const Alert& alert : firing) fires.emplace(alert.rule, alert.uid);
    for (const AlertRule& rule : rules) {
        // A label value escapes backslashes and quotes; names hold no line ends.
        std::string label;
        for (const char c : rule.name)
            label += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
        for (const SiteSummary& site : sites) {
            if (!rule.watches(site.uid)) continue;
            out += "dkq_alert_firing{rule=\"" + label + "\",uid=\"" + std::to_string(site.uid) +
                   "\"} " + (fires.contains({rule.name, site.uid}) ? "1\n" : "0\n");
        }
    }
}

std::string alertMail(const AlertChange& change, const std::string& from, const std::string& to,
                      std::int64_t nowMs) {
    const Alert& alert = change.alert;
    const std::string site = std::to_string(alert.uid);
    std::string body = "Alarm „" + alert.rule + "” obiektu " + site +
                       (change.firing ? " trwa od " : " ustał ") + utcText(alert.timeMs) + ".\n";
    if (alert.position > 0 && alert.value)
        body +=
            "Wartość " + std::to_string(alert.position) + ": " + polishNumber(*alert.value) + ".\n";
    body += "Ostatni odczyt (" + utcText(change.readingTimeMs) + "): " + polishValues(change.data) +
            "\n";
    const std::string subject =
        (change.firing ? "Alarm: " : "Koniec alarmu: ") + alert.rule + ", obiekt " + site;
    return "Date: " + mailDate(nowMs) + "\r\nFrom: " + from + "\r\nTo: " + to + "\r\n" +
           encodedWords("Subject", subject) +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
           quotedPrintable(body);
}

}  // namespace dkq::collector
