// The user's answers and the clock of program core tests: a prompter that
// records messages and answers file dialogs from a script, and a clock whose
// time moves on by a second at each reading and whose sleeps only count.
#pragma once

#include <deque>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "common/clock.h"
#include "common/prompter.h"

namespace dkq::test {

struct Message {
    std::string text;
    MessageIcon icon = MessageIcon::Error;
    bool operator==(const Message&) const = default;
};
using Messages = std::vector<Message>;

inline void PrintTo(const Message& message, std::ostream* out) {
    *out << "\"" << message.text << "\" icon " << static_cast<int>(message.icon);
}

// Records messages; answers file dialogs from a script (none left: Cancel).
class ScriptedPrompter : public Prompter {
  public:
    void message(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
    }
    bool askYesNo(const std::string&) override { return false; }
    std::optional<std::string> chooseSaveFile(const std::string& filter, const std::string& ext,
                                              const std::string&) override {
        dialogs.push_back(filter + " " + ext);
        if (saveAnswers.empty()) return std::nullopt;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    Messages messages;
    std::vector<std::string> dialogs;
    std::deque<std::optional<std::string>> saveAnswers;
};

// "2024-03-05 07:08:09" as local time.
inline std::tm localTime(const char* text) {
    std::tm time{};
    std::istringstream(text) >> std::get_time(&time, "%Y-%m-%d %H:%M:%S");
    return time;
}

// Local time moves on by one second at each reading; sleeping only counts.
class FakeClock : public Clock {
  public:
    std::tm localNow() override {
        const std::tm shown = now;
        ++now.tm_sec;  // no test reaches the next minute
        return shown;
    }
    void sleepMs(int ms) override { sleeps.push_back(ms); }

    std::tm now = localTime("2024-03-05 07:08:09");
    std::vector<int> sleeps;
};

}  // namespace dkq::test
