// dkq-collector: the receiving end of webmon's uploads. Keeps every reading
// in SQLite or PostgreSQL and serves them back as JSON, CSV, metrics and a
// dashboard page.
#include <pthread.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "collector/alerts/alert_rules.h"
#include "collector/http/collector_server.h"
#include "common/plain_file.h"
#include "common/version.h"

namespace {

using namespace dkq::collector;

constexpr int UsageExitCode = 64;

constexpr const char* Usage =
    "usage: dkq-collector [--listen HOST:PORT] [--database URL] [--key HEX] [--alerts FILE]\n"
    "  --listen HOST:PORT  where to take HTTP requests (127.0.0.1:8080; port 0: any free one)\n"
    "  --database URL      sqlite:FILE (sqlite:dkq-readings.db) or a PostgreSQL URI,\n"
    "                      postgresql://user@host:port/database\n"
    "  --key HEX           the upload key the sums are made with (4e73)\n"
    "  --alerts FILE       alert rules (YAML): who is told when a value or a site's silence\n"
    "                      lasts\n";

struct Options {
    ListenAddress listen{"127.0.0.1", 8080};
    std::string database = "sqlite:dkq-readings.db";
    std::uint32_t key = DefaultUploadKey;
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
            options.listen = *listen;
        } else if (option == "--database") {
            options.database = value;
        } else if (option == "--key") {
            const auto key = readKey(value);
            if (!key) return "--key takes up to eight hex digits";
            options.key = *key;
        } else if (option == "--alerts") {
            options.alerts = value;
        } else {
            return "unknown option " + std::string(option);
        }
    }
    return std::nullopt;
}

int fail(const std::string& problem) {
    std::fprintf(stderr, "dkq-collector: %s\n", problem.c_str());
    return EXIT_FAILURE;
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
    std::unique_ptr<CollectorServer> server =
        CollectorServer::start(options.listen, *store, options.key, web, alerts.get(), error);
    if (!server) return fail(error);
    std::printf("http %s\n", server->where().c_str());
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
