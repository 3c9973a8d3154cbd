// dkq: command-line access to every module operation, for scripts and for
// diagnosing a bus. The exit status is the transaction code (0 = success).
#include <charconv>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "common/com_ports.h"
#include "common/version.h"
#include "link/module_link.h"
#include "tools/dkq_command.h"
#include "tools/utf8_console.h"

namespace dkq::tool {
namespace {

struct Connection {
    std::string tcpHost;
    int tcpPort = 0;
    int comPort = 0;
    std::string device;
    int baud = 9600;
    int receiveTimeoutMs = 800;
    int connectTimeoutMs = 6000;
    bool log = false;
    OutputOptions output;
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

void printUsage(std::ostream& out) {
    out << "usage: dkq (--tcp HOST:PORT | --com N | --device PATH) [--baud B] [--timeout MS]\n"
           "           [--connect-timeout MS] [--log] [--format text|csv|json] [--hex]\n"
           "           COMMAND ARGS...\n"
           "       dkq -h | --help | --version\n"
           "commands:\n";
    for (const auto& command : allCommands())
        out << "  " << command.name << ' ' << command.arguments << '\n';
    out << "  config-show FILE.DKQ   (no connection: the image as text, for diff)\n";
    out << "  ports   (no connection: the serial devices with their COM port numbers)\n";
    out << "--com N opens the device named by the setting COM<N> under Software\\Veldmark\\Ports,\n"
           "else /dev/ttyUSB<N-1> when present, else /dev/ttyS<N-1>.\n"
           "Exit status: 0 success, the transaction code of a failed exchange, 9 when the line\n"
           "could not be opened, 64 for a usage error, 73 when a CSV or .DKQ file cannot be\n"
           "written, 65 for a .DKQ file that is not 2048 bytes long, 66 when it cannot be opened.\n"
           "config-read starts from default.dkq in the current folder when it is there and\n"
           "writes FILE.DKQ only when every block was read.\n"
           "The logger-* commands open the line as the record memory reader does (wake-up\n"
           "line, status) and end it with \"*EOT!\" twice.\n"
           "--format and --hex apply to the read commands, poll and scan: CSV has a header\n"
           "line and ';' between fields, JSON is one object a line; --hex prints register\n"
           "values as four hex digits.\n";
}

bool parseHostPort(const std::string& text, Connection& connection) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    const auto port = parseNumber(text.substr(colon + 1), 1, 65535);
    if (!port) return false;
    connection.tcpHost = text.substr(0, colon);
    connection.tcpPort = *port;
    return true;
}

struct NumericOption {
    const char* name;
    int min;
    int max;
    int Connection::*field;
};

constexpr NumericOption kNumericOptions[] = {
    {"--com", 1, 255, &Connection::comPort},
    {"--baud", 150, 256000, &Connection::baud},
    {"--timeout", 1, 600000, &Connection::receiveTimeoutMs},
    {"--connect-timeout", 1, 600000, &Connection::connectTimeoutMs},
};

bool parseFormat(const std::string& value, Connection& c) {
    const auto format = parseOutputFormat(value);
    if (!format) return refused("--format must be text, csv or json");
    c.output.format = *format;
    return true;
}

// Reads one option at words[i] (and its value, advancing i); false, with the
// problem named, if it is not understood.
bool parseOption(const std::vector<std::string>& words, size_t& i, Connection& c) {
    const std::string& option = words[i];
    if (option == "--log") {
        c.log = true;
        return true;
    }
    if (option == "--hex") {
        c.output.hex = true;
        return true;
    }
    if (i + 1 >= words.size()) return refused(option + " needs a value");
    const std::string& value = words[++i];
    if (option == "--device") {
        c.device = value;
        return true;
    }
    if (option == "--format") return parseFormat(value, c);
    if (option == "--tcp")
        return parseHostPort(value, c) || refused("--tcp must be HOST:PORT, PORT 1..65535");
    for (const auto& numeric : kNumericOptions) {
        if (option != numeric.name) continue;
        const auto number = numberArgument(value, numeric.name, numeric.min, numeric.max);
        if (number) c.*numeric.field = *number;
        return number.has_value();
    }
    return refused("unknown option " + option);
}

// Reads the options before the command; returns the index of the command
// word, or 0 for a usage error (the problem named).
size_t parseConnection(const std::vector<std::string>& words, Connection& c) {
    size_t i = 0;
    for (; i < words.size() && words[i].rfind("--", 0) == 0; ++i) {
        if (!parseOption(words, i, c)) return 0;
    }
    const int transports = !c.tcpHost.empty() + (c.comPort != 0) + !c.device.empty();
    if (transports != 1) {
        refuse("give exactly one of --tcp, --com and --device");
        return 0;
    }
    if (i == words.size()) {
        refuse("no command given");
        return 0;
    }
    return i;
}

std::optional<ToolCommand> findCommand(const std::string& name) {
    for (const auto& command : allCommands())
        if (name == command.name) return command;
    return std::nullopt;
}

void configureLink(ModuleLink& link, const Connection& c) {
    link.UseTcp = c.tcpHost.empty() ? 0 : 1;
    link.IpAddress = c.tcpHost;
    link.TcpPort = c.tcpPort;
    link.ConnectTimeoutMs = c.connectTimeoutMs;
    link.ReceiveTimeoutMs = c.receiveTimeoutMs;
    link.LogEnabled = c.log ? 1 : 0;
    link.ComDevice = comPortDevice;
    if (!c.device.empty()) link.ComDevice = [device = c.device](int) { return device; };
    link.PortSetupMessage = [](const std::string& text) { std::cerr << "dkq: " << text << '\n'; };
}

// Says what is wrong, then how the command is used.
void printCommandUsage(const ToolCommand& command) {
    const std::string problem = refusal().empty() ? "wrong arguments" : refusal();
    std::cerr << "dkq: " << problem << "\nusage: dkq [connection] " << command.name << ' '
              << command.arguments << '\n';
}

int run(const std::vector<std::string>& words) {
    Connection connection;
    const size_t at = parseConnection(words, connection);
    const auto command = at ? findCommand(words[at]) : std::nullopt;
    if (!command) {
        if (at) refuse("unknown command " + words[at]);
        std::cerr << "dkq: " << refusal() << '\n';
        printUsage(std::cerr);
        return UsageError;
    }
    const std::vector<std::string> args(words.begin() + static_cast<long>(at) + 1, words.end());
    const auto prepared = command->prepare(args);
    if (!prepared) {
        printCommandUsage(*command);
        return UsageError;
    }

    ModuleLink link;
    configureLink(link, connection);
    link.CommLog("");  // starts the log's seconds column
    CommandContext context{
        link, std::cout, std::cerr, connection.comPort, connection.baud, connection.output};
    link.InitNetwork(true);
    if (!command->recordMemory) {
        if (const int code = link.open_com(connection.comPort, connection.baud); code != open::Ok) {
            std::cerr << "dkq: open_com failed: code " << code << " ("
                      << codeMeaning(CodeKind::Open, code) << ")\n";
            return tx::NotOpen;
        }
    }
    const int status = (*prepared)(context);
    if (link.IsOpen()) link.close_com();
    link.InitNetwork(false);
    return status;
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

int reportFailure(CommandContext& context, const char* what, int code) {
    context.err << "dkq: " << what << " failed: code " << code << " ("
                << codeMeaning(CodeKind::Transaction, code) << ")\n";
    return code;
}

}  // namespace dkq::tool

int main(int argc, char** argv) {
    if (dkq::printVersionIfAsked("dkq", argc, argv)) return 0;
    dkq::tool::useUtf8Console();
    const std::vector<std::string> words = dkq::tool::utf8Arguments(argc, argv);
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h")) {
        dkq::tool::printUsage(std::cout);
        return 0;
    }
    if (const auto status = dkq::tool::runFileCommand(words, std::cout, std::cerr)) return *status;
    if (!words.empty() && words[0] == dkq::tool::PortsCommand)
        return dkq::tool::runPortsCommand({words.begin() + 1, words.end()}, std::cout, std::cerr);
    return dkq::tool::run(words);
}
