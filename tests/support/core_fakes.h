// The user's answers and the clock of program core tests: a prompter that
// records messages and questions and answers them and file dialogs from a
// script, and a clock whose time moves on at each reading and whose sleeps
// only count.
#pragma once

#include <ctime>
#include <deque>
#include <functional>
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

// Records messages and questions; answers questions yes unless `answers`
// says otherwise, and file dialogs from `saveAnswers`, then with `saveAs`
// (none: Cancel).
class ScriptedPrompter : public Prompter {
  public:
    void message(const std::string& text, MessageIcon icon) override {
        messages.push_back({text, icon});
        if (onMessage) onMessage();
    }
    bool askYesNo(const std::string& text, DefaultAnswer byDefault) override {
        questions.push_back(text);
        defaults.push_back(byDefault);
        const bool yes = answers.empty() || answers.front();
        if (!answers.empty()) answers.pop_front();
        return yes;
    }
    std::optional<std::string> chooseSaveFile(const std::string& filter, const std::string& ext,
                                              const std::string& initialName) override {
        dialogs.push_back(filter + " " + ext);
        offeredName = initialName;
        if (saveAnswers.empty()) return saveAs;
        auto answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }

    Messages messages;
    std::vector<std::string> questions;
    std::vector<DefaultAnswer> defaults;  // of each question
    std::deque<bool> answers;
    std::vector<std::string> dialogs;  // filter and extension of each file dialog
    std::deque<std::optional<std::string>> saveAnswers;
    std::optional<std::string> saveAs;
    std::string offeredName;          // the initial name of the last file dialog
    std::function<void()> onMessage;  // runs while a message is shown
};

// "2024-03-05 07:08:09" as local time.
inline std::tm localTime(const char* text) {
    std::tm time{};
    std::istringstream(text) >> std::get_time(&time, "%Y-%m-%d %H:%M:%S");
    time.tm_isdst = -1;
    return time;
}

// Local time moves on by secondsPerRead at each reading, always `fraction`
// past the second; sleeping only counts.
class FakeClock : public Clock {
  public:
    WallTime wallNow() override {
        const WallTime shown = std::chrono::system_clock::from_time_t(std::mktime(&now)) + fraction;
        now.tm_sec += secondsPerRead;
        std::mktime(&now);
        return shown;
    }
    void sleepMs(int ms) override { sleeps.push_back(ms); }

    std::tm now = localTime("2024-03-05 07:08:09");
    int secondsPerRead = 1;
    std::chrono::milliseconds fraction{0};
    std::vector<int> sleeps;
};

}  // namespace dkq::test
