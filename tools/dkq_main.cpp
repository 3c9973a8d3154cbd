// dkq: command-line access to every module operation, for scripts and for
// diagnosing a bus. The exit status is the transaction code (0 = success).
#include <charconv>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "common/com_ports.h"
#include "link/module_link.h"
#include "tools/dkq_command.h"

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
};

std::vector<ToolCommand> allCommands() {
    std::vector<ToolCommand> all(registerCommands().begin(), registerCommands().end());
    all.insert(all.end(), recordMemoryCommands().begin(), recordMemoryCommands().end());
    all.insert(all.end(), configCommands().begin(), configCommands().end());
    return all;
}

void printUsage(std::ostream& out) {
    out << "usage: dkq (--tcp HOST:PORT | --com N | --device PATH) [--baud B] [--timeout MS]\n"
           "           [--connect-timeout MS] [--log] COMMAND ARGS...\n"
           "commands:\n";
    for (const auto& command : allCommands())
        out << "  " << command.name << ' ' << command.arguments << '\n';
    out << "  config-show FILE.DKQ   (no connection: the image as text, for diff)\n";
    out << "--com N opens the device named by the setting COM<N> under Software\\Veldmark\\Ports,\n"
           "else /dev/ttyUSB<N-1> when present, else /dev/ttyS<N-1>.\n"
           "Exit status: 0 success, the transaction code of a failed exchange, 9 when the line\n"
           "could not be opened, 64 for a usage error, 73 when a CSV or .DKQ file cannot be\n"
           "written, 65 for a .DKQ file that is not 2048 bytes long, 66 when it cannot be opened.\n"
           "config-read starts from default.dkq in the current folder when it is there and\n"
           "writes FILE.DKQ only when every block was read.\n"
           "The logger-* commands open the line as the record memory reader does (wake-up\n"
           "line, status) and end it with \"*EOT!\" twice.\n";
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

// Reads one option at words[i] (and its value, advancing i); false if it is
// not understood.
bool parseOption(const std::vector<std::string>& words, size_t& i, Connection& c) {
    const std::string& option = words[i];
    if (option == "--log") {
        c.log = true;
        return true;
    }
    if (i + 1 >= words.size()) return false;
    const std::string& value = words[++i];
    if (option == "--device") {
        c.device = value;
        return true;
    }
    if (option == "--tcp") return parseHostPort(value, c);
    for (const auto& numeric : kNumericOptions) {
        if (option != numeric.name) continue;
        const auto number = parseNumber(value, numeric.min, numeric.max);
        if (number) c.*numeric.field = *number;
        return number.has_value();
    }
    return false;
}

// Reads the options before the command; returns the index of the command
// word, or 0 for a usage error.
size_t parseConnection(const std::vector<std::string>& words, Connection& c) {
    size_t i = 0;
    for (; i < words.size() && words[i].rfind("--", 0) == 0; ++i) {
        if (!parseOption(words, i, c)) return 0;
    }
    const int transports = !c.tcpHost.empty() + (c.comPort != 0) + !c.device.empty();
    return transports == 1 && i < words.size() ? i : 0;
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

void printCommandUsage(const ToolCommand& command) {
    std::cerr << "usage: dkq [connection] " << command.name << ' ' << command.arguments << '\n';
}

int run(const std::vector<std::string>& words) {
    Connection connection;
    const size_t at = parseConnection(words, connection);
    const auto command = at ? findCommand(words[at]) : std::nullopt;
    if (!command) {
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
    CommandContext context{link, std::cout, std::cerr, connection.comPort, connection.baud};
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

int reportFailure(CommandContext& context, const char* what, int code) {
    context.err << "dkq: " << what << " failed: code " << code << " ("
                << codeMeaning(CodeKind::Transaction, code) << ")\n";
    return code;
}

}  // namespace dkq::tool

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    if (words.size() == 1 && (words[0] == "--help" || words[0] == "-h")) {
        dkq::tool::printUsage(std::cout);
        return 0;
    }
    if (const auto status = dkq::tool::runFileCommand(words, std::cout, std::cerr)) return *status;
    return dkq::tool::run(words);
}
