// SPDX-License-Identifier: GPL-3.0-or-later
#include "collector/alerts/alert_rules.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include "common/cp1250.h"
#include "common/text.h"

namespace dkq::collector {
namespace {

// The first fault of the file, at the node it is about. Thrown inside this
// file only, where the walk through the nodes is deepest.
struct RuleFault {
    YAML::Mark mark;
    std::string reason;
};

[[noreturn]] void fail(const YAML::Node& node, std::string reason) {
    throw RuleFault{node.Mark(), std::move(reason)};
}

// Quoted and cut short: a key of any length may be named in the message.
std::string quoted(std::string_view text) {
    return "\"" + limitChars(text, 40) + "\"";
}

// Each key of the map at most once, and only those it may hold.
void checkKeys(const YAML::Node& map, std::initializer_list<std::string_view> known,
               const char* what) {
    if (!map.IsMap()) fail(map, what);
    std::set<std::string> seen;
    for (const auto& item : map) {
        const std::string key = item.first.IsScalar() ? item.first.Scalar() : "";
        if (std::find(known.begin(), known.end(), key) == known.end())
            fail(item.first, "unknown key " + quoted(key));
        if (!seen.insert(key).second) fail(item.first, quoted(key) + " given twice");
    }
}

std::string scalar(const YAML::Node& node, const char* what) {
    if (!node.IsScalar()) fail(node, what);
    return node.Scalar();
}

// UTF-8 without control characters: what a name, a header line or a log line
// can carry as it stands.
bool plainText(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = nextCodePoint(text, pos);
        if (c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0xfffd) return false;
    }
    return true;
}

// "name@host", as an envelope address takes it between "<" and ">".
bool mailAddress(std::string_view text) {
    return text.size() <= MaxAddressBytes && plainText(text) &&
           text.find('@') != std::string_view::npos &&
           text.find_first_of(" <>,;\"") == std::string_view::npos;
}

template <typename Number>
std::optional<Number> readNumber(std::string_view text) {
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return number;
}

double finiteNumber(const YAML::Node& node, const char* what) {
    const auto number = readNumber<double>(scalar(node, what));
    if (!number || !std::isfinite(*number)) fail(node, what);
    return *number;
}

// "3 intervals", "1 interval", "2.5 intervals".
std::optional<double> readIntervals(std::string_view text) {
    for (const std::string_view unit : {" intervals", " interval"}) {
        if (!text.ends_with(unit)) continue;
        const auto count = readNumber<double>(text.substr(0, text.size() - unit.size()));
        if (count && *count > 0 && *count <= MaxSilentIntervals) return count;
    }
    return std::nullopt;
}

void readUids(const YAML::Node& node, AlertRule& rule) {
    constexpr const char* What = "uids is all or a list of uids: [1021, 1022]";
    if (node.IsScalar() && node.Scalar() == "all") {
        rule.allUids = true;
        return;
    }
    if (!node.IsSequence() || node.size() == 0) fail(node, What);
    if (node.size() > MaxRuleUids) fail(node, "more than 10000 uids");
    for (const auto& item : node) {
        const auto uid = readNumber<std::int32_t>(scalar(item, What));
        if (!uid) fail(item, What);
        rule.uids.push_back(*uid);
    }
    std::sort(rule.uids.begin(), rule.uids.end());
    rule.uids.erase(std::unique(rule.uids.begin(), rule.uids.end()), rule.uids.end());
}

void readTargets(const YAML::Node& node, const AlertRules& file, AlertRule& rule) {
    constexpr const char* What = "notify is a list of http://, https:// or mailto: addresses";
    if (!node.IsSequence()) fail(node, What);
    if (node.size() > MaxRuleTargets) fail(node, "more than 16 addresses to notify");
    for (const auto& item : node) {
        const std::string target = scalar(item, What);
        const bool web = target.starts_with("http://") || target.starts_with("https://");
        const bool mail = target.starts_with("mailto:");
        if (!(web && plainText(target) && target.find(' ') == std::string::npos &&
              target.size() <= MaxAddressBytes) &&
            !(mail && mailAddress(std::string_view(target).substr(7))))
            fail(item, What);
        if (mail && (file.smtp.empty() || file.from.empty()))
            fail(item, "mailto: needs smtp and from");
        rule.notify.push_back(target);
    }
}

// The keys of a rule on a value, or of a rule on silence.
void readCondition(const YAML::Node& node, AlertRule& rule) {
    const YAML::Node above = node["above"], below = node["below"], position = node["position"],
                     holding = node["for"], silent = node["silent_after"];
    if (bool(above || below) == bool(silent))
        fail(node, "a rule takes above or below, or silent_after");
    if (silent) {
        for (const YAML::Node& valueKey : {position, holding})
            if (valueKey) fail(valueKey, "position and for go with above and below");
        constexpr const char* What =
            "silent_after is a duration (10m) or a count of intervals (3 intervals)";
        const std::string text = scalar(silent, What);
        const auto intervals = readIntervals(text);
        const auto duration = readDuration(text);
        if (!intervals && (!duration || *duration == 0)) fail(silent, What);
        rule.silentIntervals = intervals.value_or(0);
        rule.silentMs = duration.value_or(0);
        return;
    }
    if (!position) fail(node, "position is needed with above and below");
    const auto index = readNumber<int>(scalar(position, "position is a number"));
    if (!index || *index < 1 || *index > MaxRulePosition)
        fail(position, "position is a number from 1 to 2048");
    rule.position = *index;
    if (above) rule.above = finiteNumber(above, "above is a number");
    if (below) rule.below = finiteNumber(below, "below is a number");
    if (above && below && *rule.below > *rule.above) fail(below, "below is over above");
    if (holding) {
        const auto duration = readDuration(scalar(holding, "for is a duration"));
        if (!duration) fail(holding, "for is a duration: 30s, 5m, 2h, 1d");
        rule.forMs = *duration;
    }
}

AlertRule readRule(const YAML::Node& node, const AlertRules& file) {
    checkKeys(node, {"name", "uids", "position", "above", "below", "for", "silent_after", "notify"},
              "a rule is a map of name, uids, position, above, below, for, silent_after, notify");
    AlertRule rule;
    const YAML::Node name = node["name"], uids = node["uids"], targets = node["notify"];
    if (!name) fail(node, "a rule needs a name");
    rule.name = scalar(name, "name is a text");
    if (rule.name.empty() || rule.name.size() > MaxRuleNameBytes || !plainText(rule.name))
        fail(name, "name is a text of 1 to 200 bytes without control characters");
    if (!uids) fail(node, "a rule needs uids: all or a list");
    readUids(uids, rule);
    readCondition(node, rule);
    if (targets) readTargets(targets, file, rule);
    return rule;
}

AlertRules readFile(const YAML::Node& root) {
    checkKeys(root, {"smtp", "from", "rules"}, "the file is a map of smtp, from and rules");
    AlertRules file;
    if (const YAML::Node smtp = root["smtp"]) {
        file.smtp = scalar(smtp, "smtp is an address");
        if (!(file.smtp.starts_with("smtp://") || file.smtp.starts_with("smtps://")) ||
            !plainText(file.smtp) || file.smtp.size() > MaxAddressBytes)
            fail(smtp, "smtp is an smtp:// or smtps:// address");
    }
    if (const YAML::Node from = root["from"]) {
        file.from = scalar(from, "from is an e-mail address");
        if (!mailAddress(file.from)) fail(from, "from is an e-mail address");
    }
    const YAML::Node rules = root["rules"];
    if (!rules) fail(root, "the file has no rules");
    if (!rules.IsSequence()) fail(rules, "rules is a list of rules");
    if (rules.size() > MaxAlertRules) fail(rules, "more than 1000 rules");
    std::set<std::string> names;
    for (const auto& node : rules) {
        file.rules.push_back(readRule(node, file));
        if (!names.insert(file.rules.back().name).second)
            fail(node["name"], "two rules are named " + quoted(file.rules.back().name));
    }
    return file;
}

// Counted from 1; an empty file has its faults at its start.
std::string place(const YAML::Mark& mark) {
    return "line " + std::to_string(std::max(mark.line, 0) + 1) + ", column " +
           std::to_string(std::max(mark.column, 0) + 1) + ": ";
}

}  // namespace

bool AlertRule::watches(std::int32_t uid) const {
    return allUids || std::binary_search(uids.begin(), uids.end(), uid);
}

std::optional<AlertRules> readAlertRules(std::string_view text, std::string& error) {
    try {
        return readFile(YAML::Load(std::string(text)));
    } catch (const RuleFault& fault) {
        error = place(fault.mark) + fault.reason;
    } catch (const YAML::Exception& exception) {
        error = place(exception.mark) + exception.msg;
    }
    return std::nullopt;
}

std::optional<std::int64_t> readDuration(std::string_view text) {
    constexpr std::pair<std::string_view, std::int64_t> Units[] = {
        {"ms", 1}, {"s", 1000}, {"m", 60'000}, {"h", 3'600'000}, {"d", 86'400'000}};
    for (const auto& [unit, ms] : Units) {
        if (!text.ends_with(unit)) continue;
        const std::string_view digits = text.substr(0, text.size() - unit.size());
        const auto count = readNumber<std::int64_t>(digits);
        if (!count || digits.starts_with('-') || *count > MaxRuleDurationMs / ms)
            return std::nullopt;
        return *count * ms;
    }
    return std::nullopt;
}

}  // namespace dkq::collector
