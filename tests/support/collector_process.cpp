#include "tests/support/collector_process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "tests/support/loopback_listener.h"
#include "tests/support/sim_process.h"

namespace dkq::test {
namespace {

int freeLoopbackPort() {
    int port = 0;
    close(listenOnLoopback(1, port));
    return port;
}

}  // namespace

CollectorProcess::CollectorProcess(const std::string& database,
                                   const std::vector<std::string>& options,
                                   const std::string& errors) {
    std::vector<std::string> words = {toolPath("DKQ_COLLECTOR"), "--listen", "127.0.0.1:0",
                                      "--database", database};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        if (!errors.empty()) dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char line[128] = "";
    FILE* output = fdopen(out[0], "r");
    const bool started = fgets(line, sizeof line, output) != nullptr &&
                         std::string_view(line).find(" 127.0.0.1:") != std::string_view::npos;
    fclose(output);
    if (!started) {
        stop();
        throw std::runtime_error(std::string("dkq-collector did not start: ") + line);
    }
    port_ = std::atoi(std::strrchr(line, ':') + 1);
}

CollectorProcess::~CollectorProcess() {
    stop();
}

int CollectorProcess::stop() {
    if (pid_ < 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

HttpAnswer httpGet(int port, const std::string& target, const std::string& headers) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{
        AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
    }
    const std::string request =
        "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + headers + "\r\n";
    [[maybe_unused]] auto sent = send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string bytes;
    char buffer[65536];
    for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) bytes.append(buffer, n);
    close(fd);
    HttpAnswer answer;
    const std::size_t end = bytes.find("\r\n\r\n");
    if (bytes.size() < 12 || end == std::string::npos) return answer;
    answer.status = std::stoi(bytes.substr(9, 3));
    answer.head = bytes.substr(0, end + 2);
    answer.body = bytes.substr(end + 4);
    return answer;
}

bool makeTestCertificates() {
    return std::system(
               "printf 'subjectAltName=IP:127.0.0.1\n' > names &&"
               " openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1"
               " -nodes -days 2 -subj /CN=dkq-test-authority -keyout ca.key"
               " -out ca.pem 2>/dev/null &&"
               " openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
               " -subj /CN=127.0.0.1 -keyout server.key -out server.csr 2>/dev/null &&"
               " openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key"
               " -CAcreateserial -days 2 -extfile names -out server.pem 2>/dev/null &&"
               " chmod 600 server.key") == 0;
}

std::string headlessChromium(const std::string& profile, int seconds) {
    if (std::system("command -v chromium >/dev/null") != 0) return {};
    return "timeout " + std::to_string(seconds) +
           " chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
           " --disable-background-networking --disable-component-update --disable-sync"
           " --window-size=1280,900 --host-resolver-rules='MAP * ~NOTFOUND, EXCLUDE 127.0.0.1'"
           " --user-data-dir=" +
           profile;
}

PostgresCluster::PostgresCluster(bool durable) {
    std::string pattern = (std::filesystem::temp_directory_path() / "dkq-pg-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    if (getuid() == 0) {
        // cppcheck-suppress getpwnamCalled ; no thread runs yet
        const passwd* postgres = getpwnam("postgres");
        if (postgres == nullptr || chown(folder_.c_str(), postgres->pw_uid, postgres->pw_gid) != 0)
            throw std::runtime_error("no postgres user to run the cluster as");
    }
    if (!run("initdb -D " + folder_ + "/data -U dkq -A trust -E UTF8 --locale=C --no-sync >" +
             folder_ + "/initdb.log 2>&1"))
        throw std::runtime_error("initdb failed, see " + folder_ + "/initdb.log");
    // A port free a moment ago may be taken by the time the server binds it.
    const std::string settings = durable ? "" : " -c fsync=off";
    for (int attempt = 0; attempt < 3 && !started_; ++attempt) {
        port_ = freeLoopbackPort();
        started_ = run("pg_ctl -D " + folder_ + "/data -l " + folder_ +
                       "/server.log -w -t 60 -o \"-h 127.0.0.1 -p " + std::to_string(port_) +
                       " -k ''" + settings + "\" start >/dev/null");
    }
    if (!started_) throw std::runtime_error("pg_ctl start failed, see " + folder_ + "/server.log");
}

PostgresCluster::~PostgresCluster() {
    if (started_) run("pg_ctl -D " + folder_ + "/data -m immediate -w stop >/dev/null");
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string PostgresCluster::createDatabase(const std::string& name) const {
    const std::string port = std::to_string(port_);
    if (!run("createdb -h 127.0.0.1 -p " + port + " -U dkq " + name))
        throw std::runtime_error("createdb failed");
    return "postgresql://dkq@127.0.0.1:" + port + "/" + name;
}

void PostgresCluster::signalServer(const std::string& signal) const {
    const std::string server = "$(head -n 1 " + folder_ + "/data/postmaster.pid)";
    std::system(("kill -" + signal + " " + server + " $(pgrep -P " + server + ")").c_str());
}

bool PostgresCluster::run(const std::string& command) const {
    // The newest of Debian's PostgreSQL versions.
    const std::string bin = "$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)/";
    const std::string asPostgres = getuid() == 0 ? "cd / && runuser -u postgres -- " : "";
    return std::system((asPostgres + bin + command).c_str()) == 0;
}

}  // namespace dkq::test
