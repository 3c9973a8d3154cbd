// dkq-collector: the receiving end of webmon's uploads. Keeps every reading
// in SQLite or PostgreSQL and serves them back as JSON, CSV, metrics and a
// dashboard page.
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "collector/access/secrets.h"
#include "collector/alerts/alert_rules.h"
#include "collector/http/collector_server.h"
#include "common/plain_file.h"
#include "common/version.h"

namespace {

using namespace dkq;
using namespace dkq::collector;

constexpr int UsageExitCode = 64;

constexpr const char* Usage =
    "usage: dkq-collector [--listen HOST:PORT] [--database URL] [--key HEX]\n"
    "                     [--tls-cert FILE --tls-key FILE] [--tokens FILE] [--users FILE]\n"
    "                     [--trusted-proxy ADDRESS] [--max-connections N] [--alerts FILE]\n"
    "       dkq-collector --hash-password\n"
    "  --listen HOST:PORT       where to take requests (127.0.0.1:8080; port 0: any free one)\n"
    "  --database URL           sqlite:FILE (sqlite:dkq-readings.db) or a PostgreSQL URI,\n"
    "                           postgresql://user@host:port/database\n"
    "  --key HEX                the upload key the sums are made with (4e73)\n"
    "  --tls-cert FILE          HTTPS with this PEM certificate (chain) ...\n"
    "  --tls-key FILE           ... and its PEM private key\n"
    "  --tokens FILE            uploads need their site's token: UID TOKEN lines\n"
    "  --users FILE             reading needs a login: NAME:HASH lines\n"
    "  --trusted-proxy ADDRESS  requests from this reverse proxy name their client\n"
    "                           in X-Forwarded-For\n"
    "  --max-connections N      connections kept open at most (10000)\n"
    "  --alerts FILE            alert rules (YAML): who is told when a value or a site's\n"
    "                           silence lasts\n"
    "  --hash-password          reads a password line from standard input, prints its hash\n";

struct Options {
    ServerSettings server;
    std::string database = "sqlite:dkq-readings.db";
    std::string tlsCertificate, tlsKey, tokens, users;
    std::string alerts;  // none
};

std::optional<std::uint32_t> readKey(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
    std::uint32_t key = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), key, 16);
    if (text.empty() || text.size() > 8 || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return key;
}

// The problem with the command line, or nothing.
std::optional<std::string> readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) return std::string(option) + " needs a value";
        const std::string_view value = argv[++i];
        if (option == "--listen") {
            const auto listen = readListenAddress(value);
            if (!listen) return "--listen takes HOST:PORT";
            options.server.listen = *listen;
        } else if (option == "--database") {
            options.database = value;
        } else if (option == "--key") {
            const auto key = readKey(value);
            if (!key) return "--key takes up to eight hex digits";
            options.server.key = *key;
        } else if (option == "--max-connections") {
            std::size_t limit = 0;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), limit);
            if (error != std::errc() || end != value.data() + value.size() || limit == 0)
                return "--max-connections takes a count";
            options.server.connectionLimit = limit;
        } else if (option == "--trusted-proxy") {
            options.server.trustedProxy = value;
        } else if (option == "--tls-cert" || option == "--tls-key" || option == "--tokens" ||
                   option == "--users") {
            std::string& file = option == "--tls-cert"  ? options.tlsCertificate
                                : option == "--tls-key" ? options.tlsKey
                                : option == "--tokens"  ? options.tokens
                                                        : options.users;
            file = value;
        } else if (option == "--alerts") {
            options.alerts = value;
        } else {
            return "unknown option " + std::string(option);
        }
    }
    if (options.tlsCertificate.empty() != options.tlsKey.empty())
        return "--tls-cert and --tls-key go together";
    return std::nullopt;
}

int fail(const std::string& problem) {
    std::fprintf(stderr, "dkq-collector: %s\n", problem.c_str());
    return EXIT_FAILURE;
}

// Reads the password without echoing it when it comes from a terminal.
int printPasswordHash() {
    termios terminal{};
    const bool typed = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &terminal) == 0;
    if (typed) {
        std::fputs("password: ", stderr);
        termios silent = terminal;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string password;
    for (int c; (c = std::getchar()) != EOF && c != '\n';) password += static_cast<char>(c);
    if (typed) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &terminal);
        std::fputs("\n", stderr);
    }
    if (password.ends_with('\r')) password.pop_back();
    if (password.empty()) return fail("no password given");
    const std::string hash = hashPassword(password);
    if (hash.empty()) return fail("the system cannot make a yescrypt hash");
    std::printf("%s\n", hash.c_str());
    return EXIT_SUCCESS;
}

// The TLS files, tokens and users the options name; false after saying why not.
bool readAccessFiles(const Options& options, ServerSettings& server,
                     std::optional<SiteTokens>& tokens, std::unique_ptr<UserLogins>& users) {
    std::string error;
    if (!options.tlsCertificate.empty()) {
        if (readWholeFile(options.tlsCertificate, server.tlsCertificate, MaxSecretFileBytes) !=
            FileRead::Ok)
            return fail(options.tlsCertificate + ": cannot be read") == 0;
        if (readWholeFile(options.tlsKey, server.tlsKey, MaxSecretFileBytes) != FileRead::Ok)
            return fail(options.tlsKey + ": cannot be read") == 0;
    }
    if (!options.tokens.empty()) {
        const auto text = readSecretFile(options.tokens, error);
        if (text) tokens = SiteTokens::read(*text, error);
        if (!text) return fail(error) == 0;
        if (!tokens) return fail(options.tokens + ": " + error) == 0;
        server.tokens = &*tokens;
    }
    if (!options.users.empty()) {
        const auto text = readSecretFile(options.users, error);
        if (text) users = UserLogins::read(*text, error);
        if (!text) return fail(error) == 0;
        if (!users) return fail(options.users + ": " + error) == 0;
        server.users = users.get();
    }
    return true;
}

// The rules of the file; nothing, with the file's name and the place of its
// fault in `error`, when they cannot be taken.
std::optional<AlertRules> readAlertFile(const std::string& path, std::string& error) {
    std::string text;
    if (dkq::readWholeFile(path, text, dkq::MaxTextFileBytes) != dkq::FileRead::Ok) {
        error = path + ": cannot be read (a file of at most 1 MiB)";
        return std::nullopt;
    }
    auto rules = readAlertRules(text, error);
    if (!rules) error = path + ": " + error;
    return rules;
}

}  // namespace

int main(int argc, char** argv) {
    if (dkq::printVersionIfAsked("dkq-collector", argc, argv)) return EXIT_SUCCESS;
    if (argc == 2 && (std::string_view(argv[1]) == "-h" || std::string_view(argv[1]) == "--help")) {
        std::fputs(Usage, stdout);
        return EXIT_SUCCESS;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--hash-password") return printPasswordHash();
    Options options;
    if (const auto problem = readOptions(argc, argv, options)) {
        std::fprintf(stderr, "dkq-collector: %s\n\n%s", problem->c_str(), Usage);
        return UsageExitCode;
    }
    // Blocked before any thread starts: every thread inherits the mask, and
    // only the main thread takes the stop signals, with sigwait.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::optional<SiteTokens> tokens;
    std::unique_ptr<UserLogins> users;
    if (!readAccessFiles(options, options.server, tokens, users)) return EXIT_FAILURE;
    std::string error;
    std::optional<AlertRules> rules;
    if (!options.alerts.empty() && !(rules = readAlertFile(options.alerts, error)))
        return fail(error);
    std::unique_ptr<ReadingStore> store = openReadingStore(options.database, error);
    if (!store) return fail(error);
    std::unique_ptr<AlertMonitor> alerts;
    if (rules && !(alerts = AlertMonitor::start(std::move(*rules), *store, error)))
        return fail(error);
    std::vector<std::string> missing;
    const WebFiles web = WebFiles::load(installedWebFolder(), DygraphsFolder, missing);
    for (const std::string& file : missing)
        std::fprintf(stderr, "dkq-collector: the dashboard lacks %s\n", file.c_str());
    options.server.alerts = alerts.get();
    std::unique_ptr<CollectorServer> server =
        CollectorServer::start(options.server, *store, web, error);
    if (!server) return fail(error);
    std::printf("%s\n", server->where().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stops, &signal);
    if (!server->stop()) {
        // Their connections are suspended inside the server, which cannot be
        // torn down around them; none of them was answered, so none is lost.
        std::fprintf(stderr,
                     "dkq-collector: uploads still wait for the database; left unanswered\n");
        std::_Exit(EXIT_FAILURE);
    }
    return EXIT_SUCCESS;
}
