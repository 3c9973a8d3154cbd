// dkq: command-line access to every module operation, for scripts and for
// diagnosing a bus. The exit status is the transaction code (0 = success).
// Options may stand anywhere on the line, as "--opt value" or "--opt=value";
// "--" ends them.
#include <cctype>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "common/version.h"
#include "link/module_link.h"
#include "settings/com_ports.h"
#include "tools/checked_output.h"
#include "tools/dkq_command.h"
#include "tools/utf8_console.h"

namespace dkq::tool {
namespace {

constexpr int kDefaultBaud = 9600;
constexpr int kDefaultReceiveTimeoutMs = 800;
constexpr int kDefaultConnectTimeoutMs = 6000;

struct Connection {
    std::string tcpHost;
    int tcpPort = 0;
    int comPort = 0;
    std::string device;
    int baud = 0;              // 0: not given
    int receiveTimeoutMs = 0;  // 0: not given
    int connectTimeoutMs = kDefaultConnectTimeoutMs;
    bool log = false;
    bool quiet = false;
    bool trace = false;
    OutputOptions output;
};

// What the words of a command line ask for.
struct CommandLine {
    Connection connection;
    std::vector<std::string> words;  // the command and its arguments
    std::string unknownOption;       // the first word like an option that no one takes
    bool help = false;
    bool version = false;
};

// The first problem a command line was refused for.
std::string& refusalText() {
    static std::string text;
    return text;
}

bool refused(const std::string& problem) {
    refuse(problem);
    return false;
}

std::vector<ToolCommand> allCommands() {
    std::vector<ToolCommand> all(registerCommands().begin(), registerCommands().end());
    all.insert(all.end(), recordMemoryCommands().begin(), recordMemoryCommands().end());
    all.insert(all.end(), fieldCommands().begin(), fieldCommands().end());
    all.insert(all.end(), configCommands().begin(), configCommands().end());
    return all;
}

// config-show opens no line; it lives apart from the table.
constexpr const char* kConfigShow = "config-show";
constexpr ToolCommand kConfigShowUsage{
    kConfigShow, "FILE.DKQ", "the image as text, an item a line (no connection)", false, nullptr};

std::optional<ToolCommand> findCommand(const std::string& name) {
    if (name == kConfigShow) return kConfigShowUsage;
    if (name == portsCommand().name) return portsCommand();
    for (const auto& command : allCommands())
        if (name == command.name) return command;
    return std::nullopt;
}

// ---- options ----------------------------------------------------------------

struct Option {
    const char* name;
    const char* shortName;  // or nullptr
    const char* value;      // usage text of the value; nullptr for a switch
    const char* help;
    bool (*apply)(CommandLine& line, const std::string& value);
};

bool parseHostPort(const std::string& text, Connection& connection) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string host = text.substr(0, colon);
    if (host.front() == '[' && host.back() == ']' && host.size() > 2)
        host = host.substr(1, host.size() - 2);
    else if (host.find(':') != std::string::npos)
        return false;  // an IPv6 address needs its brackets
    const auto port = parseNumber(text.substr(colon + 1), 1, 65535);
    if (!port) return false;
    connection.tcpHost = host;
    connection.tcpPort = *port;
    return true;
}

bool setNumber(int& field, const std::string& value, const char* name, int min, int max) {
    const auto number = numberArgument(value, name, min, max);
    if (number) field = *number;
    return number.has_value();
}

constexpr Option kOptions[] = {
    {"--tcp", nullptr, "HOST:PORT",
     "a serial-to-Ethernet server passing Modbus ASCII as raw characters (not Modbus/TCP); "
     "HOST a name, an IPv4 or an [IPv6] address",
     [](CommandLine& l, const std::string& v) {
         return parseHostPort(v, l.connection) ||
                refused("--tcp must be HOST:PORT, PORT 1..65535, an IPv6 address in brackets");
     }},
    {"--com", nullptr, "N",
     "COM port N (1..255): the device named by COM<N> under Software\\Veldmark\\Ports, else "
     "/dev/ttyUSB<N-1> when present, else /dev/ttyS<N-1>",
     [](CommandLine& l, const std::string& v) {
         return setNumber(l.connection.comPort, v, "--com", 1, 255);
     }},
    {"--device", nullptr, "PATH", "a serial device by its path",
     [](CommandLine& l, const std::string& v) {
         l.connection.device = v;
         return !v.empty() || refused("--device needs a path");
     }},
    {"--baud", nullptr, "B",
     "serial speed, default 9600, 7 data bits, no parity, 2 stop bits (for logger-* the wake-up "
     "line's; then 115200, 8 data bits, 1 stop bit); not with --tcp",
     [](CommandLine& l, const std::string& v) {
         return setNumber(l.connection.baud, v, "--baud", 150, 256000);
     }},
    {"--timeout", nullptr, "MS",
     "TCP only: time for an answer to start, default 800 (refused on a serial line, whose read "
     "waits 900 ms + 2 ms a character)",
     [](CommandLine& l, const std::string& v) {
         return setNumber(l.connection.receiveTimeoutMs, v, "--timeout", 1, 600000);
     }},
    {"--connect-timeout", nullptr, "MS", "TCP connect time-out, default 6000",
     [](CommandLine& l, const std::string& v) {
         return setNumber(l.connection.connectTimeoutMs, v, "--connect-timeout", 1, 600000);
     }},
    {"--log", nullptr, nullptr, "append the exchanges to dkq_comm.log in the current folder",
     [](CommandLine& l, const std::string&) { return l.connection.log = true; }},
    {"--trace", nullptr, nullptr,
     "every frame sent (>) and received (<) on standard error, after its time with milliseconds",
     [](CommandLine& l, const std::string&) { return l.connection.trace = true; }},
    {"--format", nullptr, "text|csv|json",
     "output of every command that prints data (default text): CSV with a header line and ';' "
     "between fields, JSON one object a line, times ISO 8601",
     [](CommandLine& l, const std::string& v) {
         const auto format = parseOutputFormat(v);
         if (format) l.connection.output.format = *format;
         return format.has_value() || refused("--format must be text, csv or json");
     }},
    {"--hex", nullptr, nullptr, "register values as four hex digits",
     [](CommandLine& l, const std::string&) { return l.connection.output.hex = true; }},
    {"--quiet", "-q", nullptr, "no progress (shown on standard error only when it is a terminal)",
     [](CommandLine& l, const std::string&) { return l.connection.quiet = true; }},
    {"--help", "-h", nullptr, "this text; with a command, that command's usage",
     [](CommandLine& l, const std::string&) { return l.help = true; }},
    {"--version", "-V", nullptr, "the version of the suite",
     [](CommandLine& l, const std::string&) { return l.version = true; }},
};

const Option* findOption(const std::string& name) {
    for (const auto& option : kOptions)
        if (name == option.name || (option.shortName && name == option.shortName)) return &option;
    return nullptr;
}

// "--name", "--name=value" or "-x" with a letter; "-5" and "-" are values.
bool looksLikeOption(const std::string& word) {
    return word.size() >= 2 && word[0] == '-' &&
           (word[1] == '-' ||
            (word.size() == 2 && std::isalpha(static_cast<unsigned char>(word[1])) != 0));
}

// A command's own options are those its usage names ("[--from A]", "[--on|--off]").
bool takesOption(const ToolCommand& command, const std::string& name) {
    const std::string_view usage = command.arguments;
    constexpr std::string_view before = " [|";
    constexpr std::string_view after = " ]|";
    for (size_t at = usage.find(name); at != std::string_view::npos;
         at = usage.find(name, at + 1)) {
        const size_t end = at + name.size();
        if ((at == 0 || before.find(usage[at - 1]) != std::string_view::npos) &&
            (end == usage.size() || after.find(usage[end]) != std::string_view::npos))
            return true;
    }
    return false;
}

// Reads the options wherever they stand; the other words are the command and
// its arguments. After the command word an option of the command's own
// ("--from") is one of its words; any other unknown option is kept to be
// refused once --help and --version have had their say.
bool parseCommandLine(const std::vector<std::string>& words, CommandLine& line) {
    bool optionsEnded = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || !looksLikeOption(word)) {
            line.words.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        const auto equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const Option* option = findOption(name);
        if (option == nullptr) {
            const auto command = line.words.empty() ? std::nullopt : findCommand(line.words[0]);
            if (command && takesOption(*command, name)) {
                // Its "=value" becomes the next word.
                line.words.push_back(name);
                if (equals != std::string::npos) line.words.push_back(word.substr(equals + 1));
            } else if (line.unknownOption.empty()) {
                line.unknownOption = name;
            }
            continue;
        }
        std::string value;
        if (option->value == nullptr && equals != std::string::npos)
            return refused(name + " takes no value");
        if (option->value != nullptr) {
            if (equals != std::string::npos)
                value = word.substr(equals + 1);
            else if (i + 1 < words.size())
                value = words[++i];
            else
                return refused(name + " needs a value");
        }
        if (!option->apply(line, value)) return false;
    }
    return true;
}

// mbpoll's habits (-a address, -r first register, -c count, -t type) get a
// hint of dkq's way of saying the same.
std::string unknownOptionProblem(const std::string& name) {
    constexpr std::string_view mbpollOptions = "-a -r -c -t";
    if (name.size() == 2 && mbpollOptions.find(name) != std::string_view::npos)
        return "unknown option " + name +
               "; for mbpoll's -a -r -c -t dkq takes words after the command: read-input|"
               "read-holding ADDR START COUNT, registers counted from 0";
    return "unknown option " + name;
}

// Exactly one transport; --baud only with a serial one, --timeout only with TCP.
bool checkConnection(const Connection& c) {
    const int transports = !c.tcpHost.empty() + (c.comPort != 0) + !c.device.empty();
    if (transports != 1) return refused("give exactly one of --tcp, --com and --device");
    if (!c.tcpHost.empty() && c.baud != 0)
        return refused("--baud applies to --com and --device, not to --tcp");
    if (c.tcpHost.empty() && c.receiveTimeoutMs != 0)
        return refused(
            "--timeout applies to --tcp only: a serial read waits 900 ms + 2 ms a "
            "character");
    return true;
}

// ---- help -------------------------------------------------------------------

// "  LEFT  text" wrapped at 79 columns: continuation lines, and the text of
// a LEFT too long to stand beside it, begin at `column`, so that every
// command and option has a line of its own beginning with two blanks.
void printItem(std::ostream& out, const std::string& left, const std::string& text, size_t column) {
    constexpr size_t kWidth = 79;
    const std::string indent(column, ' ');
    std::string line = "  " + left;
    if (line.size() + 1 > column) {
        out << line << '\n';
        line = indent;
    }
    line.resize(column, ' ');
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (line.size() > column && line.size() + 1 + word.size() > kWidth) {
            out << line << '\n';
            line = indent;
        }
        if (line.size() > column) line += ' ';
        line += word;
    }
    out << line << '\n';
}

std::string withArguments(const ToolCommand& command) {
    return *command.arguments ? std::string(command.name) + ' ' + command.arguments : command.name;
}

constexpr size_t kOptionColumn = 28;
constexpr size_t kCommandColumn = 36;

void printHelp(std::ostream& out) {
    out << "usage: dkq [OPTIONS] COMMAND [ARGS...]\n"
           "       dkq help [COMMAND]\n"
           "       dkq COMMAND --help\n"
           "       dkq -V | --version\n"
           "\n"
           "ADDR is a module's bus address (0: every module, writes only). START, REG and\n"
           "COIL are the module's own register numbers, counted from 0 as the frame\n"
           "carries them (no 30001/40001 numbering). Numbers are decimal or 0x hexadecimal.\n"
           "\n"
           "The line carries Modbus ASCII: on a serial port 7 data bits, no parity, 2 stop\n"
           "bits; over --tcp the same characters, raw, through a serial-to-Ethernet server\n"
           "(not Modbus/TCP: an answer in its framing is reported as such).\n"
           "\n"
           "Options (anywhere on the line, also as --opt=value; -- ends them):\n";
    for (const auto& option : kOptions) {
        std::string left = option.shortName ? std::string(option.shortName) + ", " : "";
        left += option.name;
        if (option.value) left += std::string(" ") + option.value;
        printItem(out, left, option.help, kOptionColumn);
    }
    out << "\nCommands (each but config-show and ports needs one of --tcp, --com and --device):\n";
    for (const auto& command : allCommands())
        printItem(out, withArguments(command), command.summary, kCommandColumn);
    printItem(out, withArguments(kConfigShowUsage), kConfigShowUsage.summary, kCommandColumn);
    printItem(out, portsCommand().name, portsCommand().summary, kCommandColumn);
    printItem(out, "help [COMMAND]", "this text, or a command's usage", kCommandColumn);
    out << "\n"
           "Exit status: 0 success; 1..9 the transaction code of the failed exchange (1 no\n"
           "answer, 2 wrong length or header, 3 peer closed, 4 receive error, 5 send\n"
           "failed, 6 no frame start, 7 LRC error, 8 no answer for the 11th time in a row,\n"
           "9 line not open: also when it cannot be opened or the port refuses the baud\n"
           "rate); 10 the module answered with a Modbus exception; 11 logger-download\n"
           "found no records; 64 usage error; 65 a .DKQ file that is not 2048 bytes long;\n"
           "66 a file that cannot be opened; 73 a CSV or .DKQ file that cannot be written;\n"
           "74 standard output cannot be written; 130 and 143 logger-download ended by\n"
           "SIGINT or SIGTERM (the rows read so far are kept). scan: 0 when a module\n"
           "answered, 1 when none did, the code of a failure that lost the line. poll: the\n"
           "status of its last round.\n"
           "\n"
           "The logger-* commands talk to the record memory of the one module on the line:\n"
           "its text commands carry no bus address (the wake-up line goes to address 0).\n"
           "They open the line as the record memory reader does (wake-up line, status) and\n"
           "end it with \"*EOT!\" twice; logger-download takes line names from\n"
           "DKQ-Logger.cfg in the current folder and writes FILE as named (- is standard\n"
           "output). config-read starts from default.dkq in the current folder when it is\n"
           "there and writes FILE.DKQ only when every block was read.\n";
}

void printCommandUsage(std::ostream& out, const ToolCommand& command) {
    out << "usage: dkq [OPTIONS] " << withArguments(command) << '\n' << command.summary << '\n';
}

// Says what is wrong, then how the command (or dkq) is used.
int usageError(const std::optional<ToolCommand>& command) {
    const std::string problem = refusal().empty() ? "wrong arguments" : refusal();
    std::cerr << "dkq: " << problem << '\n';
    if (command)
        printCommandUsage(std::cerr, *command);
    else
        std::cerr << "usage: dkq [OPTIONS] COMMAND [ARGS...]   (dkq --help lists them)\n";
    return UsageError;
}

int refuseLine(const std::string& problem) {
    refuse(problem);
    return usageError({});
}

// "dkq help [COMMAND]" and --help anywhere.
int help(const std::vector<std::string>& words) {
    const bool helpWord = !words.empty() && words[0] == "help";
    const size_t at = helpWord ? 1 : 0;
    if (words.size() <= at) {
        printHelp(std::cout);
        return 0;
    }
    if (const auto renamed = renamedCommand(words[at])) return refuseLine(*renamed);
    const auto command = findCommand(words[at]);
    if (!command) return refuseLine("unknown command " + words[at]);
    printCommandUsage(std::cout, *command);
    return 0;
}

// ---- running a command ------------------------------------------------------

void configureLink(ModuleLink& link, const Connection& c) {
    link.UseTcp = c.tcpHost.empty() ? 0 : 1;
    link.IpAddress = c.tcpHost;
    link.TcpPort = c.tcpPort;
    link.ConnectTimeoutMs = c.connectTimeoutMs;
    link.ReceiveTimeoutMs = c.receiveTimeoutMs != 0 ? c.receiveTimeoutMs : kDefaultReceiveTimeoutMs;
    link.LogEnabled = c.log ? 1 : 0;
    link.StrictPortSetup = 1;  // a refused baud rate is an error, not a warning
    link.ComDevice = comPortDevice;
    if (!c.device.empty()) link.ComDevice = [device = c.device](int) { return device; };
}

// The characters of a frame as one line: its CR LF (a text command's CR) left
// out, any other byte outside printable ASCII as \xHH.
std::string traceText(std::string_view characters) {
    while (!characters.empty() && (characters.back() == '\n' || characters.back() == '\r'))
        characters.remove_suffix(1);
    std::string text;
    for (const char c : characters) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            text += c;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        text += escaped;
    }
    return text;
}

// A Modbus/TCP server's answer: an MBAP header (transaction, often the echo
// of the request's ":0"; protocol 0; the length of what follows; unit),
// binary where hex digits should be.
bool looksLikeModbusTcp(std::string_view answer) {
    constexpr size_t kHeaderBytes = 7;
    constexpr size_t kLongestRest = 254;  // unit and the longest PDU
    if (answer.size() <= kHeaderBytes) return false;
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(answer[at]); };
    const size_t rest = static_cast<size_t>(byte(4)) << 8 | byte(5);
    return byte(2) == 0 && byte(3) == 0 && rest >= 2 && rest <= kLongestRest;
}

// Notes whether the last answer was framed as Modbus/TCP and, with --trace,
// prints every frame as "<time> > :010400000002F9" (sent) or "<time> < ..."
// (received), each line in one write.
void watchFrames(CommandContext& context, bool trace) {
    context.link.FrameTrace = [&context, trace](bool sent, std::string_view characters) {
        context.modbusTcpAnswer = !sent && looksLikeModbusTcp(characters);
        if (trace)
            context.err << textTimestamp(WallClock::now()) + (sent ? " > " : " < ") +
                               traceText(characters) + '\n';
    };
}

bool standardErrorIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

int run(const ToolCommand& command, const Connection& connection,
        const std::vector<std::string>& args) {
    const auto prepared = command.prepare(args);
    if (!prepared) return usageError(command);

    ModuleLink link;
    configureLink(link, connection);
    link.CommLog("");  // starts the log's seconds column
    const int baud = connection.baud ? connection.baud : kDefaultBaud;
    CommandContext context{link,
                           std::cout,
                           std::cerr,
                           connection.comPort,
                           baud,
                           connection.output,
                           standardErrorIsTerminal() && !connection.quiet,
                           false};
    watchFrames(context, connection.trace);
    link.InitNetwork(true);
    int status = tx::Ok;
    if (!command.recordMemory) {
        if (const int code = link.open_com(connection.comPort, baud); code != open::Ok)
            status = reportOpenFailure(context, code);
    }
    if (status == tx::Ok) status = (*prepared)(context);
    if (link.IsOpen()) link.close_com();
    link.InitNetwork(false);
    return status;
}

int dkqMain(const std::vector<std::string>& words) {
    CommandLine line;
    if (!parseCommandLine(words, line)) return usageError({});
    if (line.version) {
        std::cout << "dkq " << SuiteVersion << '\n';
        return 0;
    }
    if (line.help || (!line.words.empty() && line.words[0] == "help")) return help(line.words);
    if (!line.unknownOption.empty()) {
        refuse(unknownOptionProblem(line.unknownOption));
        return usageError(line.words.empty() ? std::nullopt : findCommand(line.words[0]));
    }
    if (line.words.empty()) return refuseLine("no command given");
    const std::string& name = line.words[0];
    if (name == kConfigShow) return *runFileCommand(line.words, std::cout, std::cerr);
    if (name == portsCommand().name)
        return runPortsCommand({line.words.begin() + 1, line.words.end()},
                               line.connection.output.format, std::cout, std::cerr);
    if (const auto renamed = renamedCommand(name)) return refuseLine(*renamed);
    const auto command = findCommand(name);
    if (!command) return refuseLine("unknown command " + name);
    if (!checkConnection(line.connection)) return usageError(command);
    return run(*command, line.connection, {line.words.begin() + 1, line.words.end()});
}

volatile std::sig_atomic_t caughtSignal = 0;

void catchSignal(int number) {
    caughtSignal = number;
    std::signal(number, catchSignal);  // some platforms reset the handler
}

}  // namespace

std::optional<int> parseNumber(const std::string& word, int min, int max) {
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const char* first = word.data() + (hex ? 2 : 0);
    const char* last = word.data() + word.size();
    long long value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (word.empty() || error != std::errc() || end != last || value < min || value > max)
        return std::nullopt;
    return static_cast<int>(value);
}

std::nullopt_t refuse(const std::string& problem) {
    if (refusalText().empty()) refusalText() = problem;
    return std::nullopt;
}

const std::string& refusal() {
    return refusalText();
}

std::optional<int> numberArgument(const std::string& word, const char* name, int min, int max) {
    const auto number = parseNumber(word, min, max);
    if (!number)
        refuse(std::string(name) + " must be " + std::to_string(min) + ".." + std::to_string(max));
    return number;
}

bool argumentCount(const std::vector<std::string>& args, size_t min, size_t max) {
    if (args.size() >= min && args.size() <= max) return true;
    const std::string expected =
        std::to_string(min) + (max == min ? "" : ".." + std::to_string(max));
    refuse("expected " + expected + " arguments, got " + std::to_string(args.size()));
    return false;
}

Failure failureOf(const CommandContext& context, int code) {
    const ModuleLink& link = context.link;
    if (code == tx::BadLength && link.ExceptionCode != 0)
        return {ModbusException, "exception " + std::to_string(link.ExceptionCode) + ": " +
                                     exceptionMeaning(link.ExceptionCode)};
    std::string text =
        "code " + std::to_string(code) + " (" + codeMeaning(CodeKind::Transaction, code) + ")";
    if (context.modbusTcpAnswer) text += ": this looks like Modbus/TCP, not ASCII";
    return {code, text};
}

int reportFailure(CommandContext& context, const char* what, int code) {
    const Failure failure = failureOf(context, code);
    context.err << "dkq: " << what << " failed: " << failure.text << '\n';
    return failure.status;
}

std::string openFailureText(const CommandContext& context, int code) {
    const ModuleLink& link = context.link;
    const std::string reason =
        link.OpenFailure.empty() ? codeMeaning(CodeKind::Open, code) : link.OpenFailure;
    if (link.UseTcp) {
        const bool ipv6 = link.IpAddress.find(':') != std::string::npos;
        return "cannot connect to " + (ipv6 ? "[" + link.IpAddress + "]" : link.IpAddress) + ":" +
               std::to_string(link.TcpPort) + ": " + reason;
    }
    const std::string device = link.ComDevice(context.comPort);
    const std::string port = "COM" + std::to_string(context.comPort) + " (" + device + ")";
    return "cannot open " + (context.comPort ? port : device) + ": " + reason;
}

int reportOpenFailure(CommandContext& context, int code) {
    context.err << "dkq: " << openFailureText(context, code) << '\n';
    return tx::NotOpen;
}

int reportFileError(std::ostream& err, const char* verb, const std::string& path, int error,
                    int status) {
    err << "dkq: cannot " << verb << ' ' << path << ": "
        << (error != 0 ? std::strerror(error) : "not a regular file") << '\n';
    return status;
}

std::optional<int> addressArgument(const std::string& word, bool write) {
    const auto address = numberArgument(word, "ADDR", 0, 255);
    if (address == 0 && !write) return refuse("ADDR 0 (every module) is for writes only");
    return address;
}

std::optional<int> registerRange(const std::string& startWord, int count) {
    constexpr int kLastRegister = 65535;
    const auto start = numberArgument(startWord, "START", 0, kLastRegister);
    if (start && *start + count - 1 > kLastRegister)
        return refuse("START " + std::to_string(*start) + " with " + std::to_string(count) +
                      " registers passes register 65535");
    return start;
}

StopSignals::StopSignals()
    : previousInterrupt_(std::signal(SIGINT, catchSignal)),
      previousTerminate_(std::signal(SIGTERM, catchSignal)) {
    caughtSignal = 0;
}

StopSignals::~StopSignals() {
    std::signal(SIGINT, previousInterrupt_);
    std::signal(SIGTERM, previousTerminate_);
}

int stopSignal() {
    return caughtSignal;
}

}  // namespace dkq::tool

// Every write to standard output is checked, the final flush too: output
// that could not be written fails the run whatever the command did.
int main(int argc, char** argv) {
    using namespace dkq::tool;
    useUtf8Console();
    CheckedOutput output(stdout);
    std::streambuf* const previous = std::cout.rdbuf(&output);
    int status = dkqMain(utf8Arguments(argc, argv));
    std::cout.flush();
    if (output.error() != 0) {
        std::cerr << "dkq: cannot write output: " << std::strerror(output.error()) << '\n';
        status = OutputFailed;
    }
    std::cout.rdbuf(previous);
    return status;
}
