// Record memory commands of dkq. Each opens the line as the logger window's
// "Połącz" does (wake-up line, status) and ends it as "Koniec pracy" does
// ("*EOT!" twice, here without waiting for an answer that no module gives);
// messages go to standard output (information) or standard error (errors
// and warnings), and every question is answered yes: giving the command is
// the user's yes.
#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "common/plain_file.h"
#include "common/prompter.h"
#include "logger/format_text.h"
#include "logger/line_table.h"
#include "logger/logger_messages.h"
#include "logger/logger_session.h"
#include "logger/record_download.h"
#include "logger/status_answer.h"
#include "tools/dkq_command.h"

namespace dkq::tool {
namespace {

using namespace dkq::logger;

// Exit status when the CSV file cannot be created or written (sysexits
// EX_CANTCREAT).
constexpr int FileFailed = 73;

// logger-download's FILE for standard output.
constexpr const char* kStandardOutput = "-";

class ConsolePrompter : public Prompter {
  public:
    // Information goes to standard error too when the rows go to standard output.
    ConsolePrompter(CommandContext& context, std::string file)
        : out_(file == kStandardOutput ? context.err : context.out),
          err_(context.err),
          progress_(context.progress),
          file_(std::move(file)) {}

    void message(const std::string& text, MessageIcon icon) override {
        if (holding_) return held_.push_back({text, icon});
        // dkq names the file and the reason itself (runDownload).
        if (text == text::FileOpenFailed || text == text::FileWriteFailed) return;
        endProgress();
        // The window's button that message names is a command here.
        if (text == text::ClearAfterItemsChange)
            err_ << "dkq: the logged items changed: clear the record memory now with "
                    "\"dkq logger-clear\"\n";
        else
            (icon == MessageIcon::Information ? out_ : err_) << text << '\n';
    }
    bool askYesNo(const std::string&, DefaultAnswer) override { return true; }
    std::optional<std::string> chooseSaveFile(const std::string&, const std::string&,
                                              const std::string&) override {
        return file_;
    }

    // Messages are held back while on, shown or dropped when turned off.
    void hold(bool on, bool show = true) {
        holding_ = on;
        if (on) return;
        for (const auto& [text, icon] : std::exchange(held_, {}))
            if (show) message(text, icon);
    }

    // A progress line on standard error, rewritten in place, when asked for;
    // any message begins on a line of its own.
    void showProgress(const std::string& text) {
        if (!progress_) return;
        err_ << '\r' << text << std::flush;
        progressShown_ = true;
    }
    void endProgress() {
        if (progressShown_) err_ << '\n';
        progressShown_ = false;
    }

  private:
    std::ostream& out_;
    std::ostream& err_;
    bool progress_;
    std::string file_;
    bool progressShown_ = false;
    bool holding_ = false;
    std::vector<std::pair<std::string, MessageIcon>> held_;
};

// The exit status for a failed status request: the transaction code of the
// nearest meaning.
int statusExit(int code) {
    switch (code) {
        case status::Ok:
            return tx::Ok;
        case status::NoAnswer:
            return tx::NoAnswer;
        case status::ChecksumError:
            return tx::LrcError;
        default:
            return tx::BadLength;
    }
}

int commandExit(CommandOutcome outcome) {
    return outcome == CommandOutcome::Confirmed ? tx::Ok : tx::NoAnswer;
}

// One record memory session from "Połącz" to "Koniec pracy" around `work`,
// which runs only when the status was read. A line that does not open is
// reported as every command reports it; a signal during the session ends it
// as usual ("*EOT!" twice) and makes the exit status 128 + its number.
template <typename Work>
int withLogger(CommandContext& c, const std::string& file, Work work) {
    const StopSignals stops;
    ConsolePrompter prompter(c, file);
    SystemClock clock;
    LoggerSession session(c.link, prompter, clock);
    session.endWithoutWaiting();
    prompter.hold(true);
    const ConnectResult connected = session.ConnectLogger(c.comPort, c.baud);
    prompter.hold(false, connected.openCode == open::Ok);
    if (connected.openCode != open::Ok) return reportOpenFailure(c, connected.openCode);
    if (!connected.connected()) return statusExit(*connected.statusCode);
    const int exit = work(session, prompter);
    prompter.endProgress();
    session.EndWork();
    return stopSignal() != 0 ? 128 + stopSignal() : exit;
}

std::string itemList(const LoggedItemMask& mask) {
    std::string list;
    for (int item = 1; item <= LoggedItemCount; ++item) {
        if (!isLogged(mask, item)) continue;
        const std::string name = loggedItemName(item);
        list += (list.empty() ? "" : " ") + (name.empty() ? std::to_string(item) : name);
    }
    return list;
}

// A status item: its label and value as the window shows them, and its
// field for scripts.
struct StatusItem {
    const char* label;
    std::string text;
    Field field;
};

std::vector<StatusItem> statusItems(const StatusAnswer& s, LineKind line, int comPort) {
    const auto yesNo = [](bool on) { return on ? "tak" : "nie"; };
    const auto boolean = [](bool on) { return on ? "true" : "false"; };
    const auto number = [](std::int64_t n) { return std::to_string(n); };
    const double seconds = downloadSeconds(s, line, comPort);
    const ModuleClock& t = s.clock;
    const std::string items = itemList(s.mask);
    const std::string size = memorySizeText(s);  // "%4.1f"
    return {
        {"Wersja modułu", versionText(s), {"version", versionText(s)}},
        {"Rozmiar pamięci [MB]",
         size,
         {"memory_mb", size.substr(size.find_first_not_of(' ')), Field::Number}},
        {"Liczba rekordów w pamięci",
         number(s.recordCount),
         {"records", number(s.recordCount), Field::Number}},
        {"Max. liczba rekordów",
         number(maxRecordCount(s)),
         {"max_records", number(maxRecordCount(s)), Field::Number}},
        {"Długość rekordu [B]",
         number(s.recordLength),
         {"record_length", number(s.recordLength), Field::Number}},
        {"Zajętość pamięci",
         occupancyText(s),
         {"occupancy_percent", number(s.occupancyPercent), Field::Number}},
        {"Okres logowania [s]",
         number(s.periodSeconds),
         {"period_s", number(s.periodSeconds), Field::Number}},
        {"Logowanie włączone", yesNo(s.loggingOn), {"logging", boolean(s.loggingOn), Field::Json}},
        {"Bufor cykliczny",
         yesNo(s.cyclicBuffer),
         {"cyclic", boolean(s.cyclicBuffer), Field::Json}},
        {"Pojemność pamięci [h]",
         number(capacityHours(s)),
         {"capacity_h", number(capacityHours(s)), Field::Number}},
        {"Ustawienie zegara",
         moduleClockText(s),
         {"module_clock", formatText("20%02d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day,
                                     t.hour, t.minute, t.second)}},
        {"Czas odczytu danych",
         downloadTimeText(seconds),
         {"download_s", formatText("%.1f", seconds), Field::Number}},
        {"Logowane rejestry", items, {"items", items}},
    };
}

void printStatus(CommandContext& c, const StatusAnswer& s, LineKind line) {
    const auto items = statusItems(s, line, c.comPort);
    if (c.output.format == OutputFormat::Text) {
        for (const auto& item : items) c.out << item.label << ": " << item.text << '\n';
        return;
    }
    Fields fields;
    for (const auto& item : items) fields.push_back(item.field);
    RecordPrinter(c.out, c.output.format).print(fields);
}

std::optional<PreparedCommand> loggerStatus(const std::vector<std::string>& args) {
    if (!argumentCount(args, 0, 0)) return std::nullopt;
    return [](CommandContext& c) {
        return withLogger(c, {}, [&](const LoggerSession& session, ConsolePrompter&) {
            printStatus(c, *session.status(), session.lineKind());
            return tx::Ok;
        });
    };
}

std::optional<PreparedCommand> loggerClock(const std::vector<std::string>& args) {
    if (!argumentCount(args, 0, 0)) return std::nullopt;
    return [](CommandContext& c) {
        return withLogger(
            c, {}, [](LoggerSession& s, ConsolePrompter&) { return commandExit(s.SetClock()); });
    };
}

std::optional<PreparedCommand> loggerClear(const std::vector<std::string>& args) {
    if (!argumentCount(args, 0, 0)) return std::nullopt;
    return [](CommandContext& c) {
        return withLogger(
            c, {}, [](LoggerSession& s, ConsolePrompter&) { return commandExit(s.ClearMemory()); });
    };
}

// "1-16,33,35" or "none": items 1..39 (item 40 cannot be chosen).
std::optional<LoggedItemMask> parseItems(const std::string& text) {
    LoggedItemMask mask{};
    if (text == "none") return mask;
    size_t from = 0;
    while (from <= text.size()) {
        const size_t comma = std::min(text.find(',', from), text.size());
        const std::string part = text.substr(from, comma - from);
        const size_t dash = part.find('-');
        const auto first = parseNumber(part.substr(0, dash), 1, LoggedItemCount - 1);
        const auto last = dash == std::string::npos
                              ? first
                              : parseNumber(part.substr(dash + 1), 1, LoggedItemCount - 1);
        if (!first || !last || *last < *first) return std::nullopt;
        for (int item = *first; item <= *last; ++item) setLogged(mask, item, true);
        from = comma + 1;
    }
    return mask;
}

struct SettingsChange {
    std::optional<bool> loggingOn;
    std::optional<bool> cyclicBuffer;
    std::optional<int> periodSeconds;
    std::optional<LoggedItemMask> mask;
};

std::optional<SettingsChange> parseSettingsChange(const std::vector<std::string>& args) {
    SettingsChange change;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--on" || word == "--off") {
            if (change.loggingOn) return refuse("give one of --on and --off");
            change.loggingOn = word == "--on";
        } else if (word == "--cyclic" || word == "--linear") {
            if (change.cyclicBuffer) return refuse("give one of --cyclic and --linear");
            change.cyclicBuffer = word == "--cyclic";
        } else if (word == "--period" && i + 1 < args.size()) {
            change.periodSeconds = numberArgument(args[++i], "--period", 0, 65535);
            if (!change.periodSeconds) return std::nullopt;
        } else if (word == "--items" && i + 1 < args.size()) {
            change.mask = parseItems(args[++i]);
            if (!change.mask) return refuse("--items must be a list of items 1..39, or none");
        } else {
            return refuse("unknown or incomplete setting " + word);
        }
    }
    if (!change.loggingOn && !change.cyclicBuffer && !change.periodSeconds && !change.mask)
        return refuse("no setting given");
    return change;
}

// What is not given keeps the module's current setting.
std::optional<PreparedCommand> loggerSettings(const std::vector<std::string>& args) {
    const auto change = parseSettingsChange(args);
    if (!change) return std::nullopt;
    return [change = *change](CommandContext& c) {
        return withLogger(c, {}, [&](LoggerSession& session, ConsolePrompter&) {
            LoggingSettings wanted = loggingSettingsOf(*session.status());
            wanted.loggingOn = change.loggingOn.value_or(wanted.loggingOn);
            wanted.cyclicBuffer = change.cyclicBuffer.value_or(wanted.cyclicBuffer);
            wanted.periodSeconds = change.periodSeconds.value_or(wanted.periodSeconds);
            wanted.mask = change.mask.value_or(wanted.mask);
            return commandExit(session.ChangeSettings(wanted));
        });
    };
}

int startExit(DownloadStart start) {
    switch (start) {
        case DownloadStart::Started:
            return tx::Ok;
        case DownloadStart::NoRecords:
            return NoRecords;
        case DownloadStart::FileError:
            return FileFailed;
        case DownloadStart::NotConnected:
            return tx::NotOpen;
        default:
            return tx::BadLength;
    }
}

// "dkq: cannot write FILE: reason"; a failed standard output is dkq's own
// report (exit 74).
int fileFailure(CommandContext& c, const RecordDownload& download) {
    if (download.file().toStream()) return FileFailed;
    return reportFileError(c.err, "write", download.file().path(), download.file().error(),
                           FileFailed);
}

int stepExit(DownloadStep step) {
    switch (step) {
        case DownloadStep::Running:
        case DownloadStep::Finished:
            return tx::Ok;
        case DownloadStep::NoData:
            return tx::NoAnswer;
        case DownloadStep::FileError:
            return FileFailed;
        default:
            return tx::BadLength;
    }
}

// A signal ends the download after the batch in hand: the rows written so
// far stay whole in their file.
int runDownload(CommandContext& c, LoggerSession& session, ConsolePrompter& prompter,
                const DownloadOptions& options, const std::string& file) {
    // As in the window: a line table read from the current folder names the
    // lines and sets their kinds, and "read as temperatures" no longer applies.
    const LineTable table = loadLineTable(LineTableFile);
    DownloadOptions effective = options;
    if (table.loaded) effective.readAsTemperatures = false;
    RecordDownload download(session, table);
    const auto start = download.start(effective);
    if (start == DownloadStart::FileError) return fileFailure(c, download);
    if (start != DownloadStart::Started) return startExit(start);
    DownloadStep step = DownloadStep::Running;
    while (step == DownloadStep::Running && stopSignal() == 0) {
        step = download.step();
        prompter.showProgress("Nr rekordu: " + std::to_string(download.recordsDone()) + " / " +
                              std::to_string(download.recordCount()));
    }
    if (step == DownloadStep::Running) {
        download.abandon();
        prompter.endProgress();
        const std::string where =
            file == kStandardOutput ? "went to standard output" : "are in " + file;
        prompter.message(formatText("dkq: download stopped by signal %d after %lld of %lld "
                                    "records; the rows read %s",
                                    stopSignal(), static_cast<long long>(download.recordsDone()),
                                    static_cast<long long>(download.recordCount()), where.c_str()),
                         MessageIcon::Error);
    }
    if (step == DownloadStep::FileError) return fileFailure(c, download);
    return stepExit(step);
}

// FILE is written as named, "-" is standard output.
std::optional<PreparedCommand> loggerDownload(const std::vector<std::string>& args) {
    std::string file;
    DownloadOptions options;
    options.splitFiles = false;
    options.nameAsGiven = true;
    for (const auto& word : args) {
        if (word == "--split")
            options.splitFiles = true;
        else if (word == "--write-invalid")
            options.writeInvalid = true;
        else if (word == "--temperatures")
            options.readAsTemperatures = true;
        else if (file.empty() && !word.starts_with("--"))
            file = word;
        else
            return refuse("unknown option or second file " + word);
    }
    if (file.empty()) return refuse("no CSV file named");
    if (file == kStandardOutput && options.splitFiles)
        return refuse("--split needs a file: - is standard output");
    return [file, options](CommandContext& c) {
        // A folder is refused before the module is woken for nothing.
        std::error_code unknown;
        if (file != kStandardOutput && std::filesystem::is_directory(pathFromUtf8(file), unknown))
            return reportFileError(c.err, "write", file, EISDIR, FileFailed);
        DownloadOptions given = options;
        if (file == kStandardOutput) given.stream = &c.out;
        return withLogger(c, file, [&](LoggerSession& s, ConsolePrompter& p) {
            return runDownload(c, s, p, given, file);
        });
    };
}

constexpr ToolCommand kCommands[] = {
    {"logger-status", "", "the record memory's status, an item a line (text command *RD_0,0)", true,
     loggerStatus},
    {"logger-download", "FILE.csv|- [--split] [--write-invalid] [--temperatures]",
     "every record into CSV, the file as named (- standard output), with a report (text "
     "commands *RD_)",
     true, loggerDownload},
    {"logger-clock", "", "set the module clock from the PC (text command *CK=)", true, loggerClock},
    {"logger-clear", "", "clear the record memory (text command *CLR=1,0)", true, loggerClear},
    {"logger-settings", "[--on|--off] [--cyclic|--linear] [--period S] [--items LIST|none]",
     "change what is logged and how often (text command *LG=)", true, loggerSettings},
};

}  // namespace

std::span<const ToolCommand> recordMemoryCommands() {
    return kCommands;
}

}  // namespace dkq::tool
