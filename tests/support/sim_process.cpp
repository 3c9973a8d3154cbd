#include "tests/support/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dkq::test {
namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool isAcknowledgement(const std::string& line) {
    return line == "ok" || line.rfind("error", 0) == 0;
}

}  // namespace

std::string toolPath(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0')
        throw std::runtime_error(std::string("environment variable not set: ") + variable);
    return value;
}

ToolRun runDkq(const std::string& arguments, const std::string& environment) {
    // Redirections first: one in the arguments (">/dev/full") takes over.
    const std::string command =
        environment + " '" + toolPath("DKQ_TOOL") + "' >dkq.stdout 2>dkq.stderr " + arguments;
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFileBytes("dkq.stdout"),
            readFileBytes("dkq.stderr")};
}

SimProcess::SimProcess(std::vector<std::string> args) {
    const std::string program = toolPath("DKQSIM");
    int in[2];
    int out[2];
    // Close-on-exec everywhere: the child keeps only its stdin and stdout.
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];

    std::string first;
    if (!readLine(first, 5000)) throw std::runtime_error("dkqsim printed no first line");
    std::istringstream words(first);
    std::string word;
    while (words >> word) {
        std::string where;
        words >> where;
        if (word == "tcp") tcpPort_ = std::stoi(where.substr(where.rfind(':') + 1));
        if (word == "pty") ptyPath_ = where;
    }
}

SimProcess::~SimProcess() {
    if (toChild_ >= 0) {
        const char quit[] = "quit\n";
        [[maybe_unused]] auto n = write(toChild_, quit, sizeof quit - 1);
        close(toChild_);
    }
    const long long deadline = nowMs() + 2000;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (nowMs() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        usleep(10'000);
    }
    if (fromChild_ >= 0) close(fromChild_);
}

bool SimProcess::readLine(std::string& line, int timeoutMs) {
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        const auto newline = pending_.find('\n');
        if (newline != std::string::npos) {
            line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return true;
        }
        const long long left = deadline - nowMs();
        if (left <= 0) return false;
        pollfd pfd{fromChild_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        char buf[4096];
        const ssize_t n = read(fromChild_, buf, sizeof buf);
        if (n <= 0) return false;
        pending_.append(buf, static_cast<size_t>(n));
    }
}

std::string SimProcess::command(const std::string& text) {
    const std::string line = text + "\n";
    if (write(toChild_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("dkqsim console closed");
    std::string answer;
    while (readLine(answer, 5000)) {
        if (isAcknowledgement(answer)) return answer;
        lines_.push_back(answer);
    }
    throw std::runtime_error("dkqsim did not acknowledge: " + text);
}

std::vector<std::string> SimProcess::takeLines(const std::string& prefix, int settleMs) {
    std::string line;
    while (readLine(line, settleMs)) lines_.push_back(line);
    std::vector<std::string> taken;
    std::deque<std::string> rest;
    for (auto& l : lines_) (l.rfind(prefix, 0) == 0 ? taken.push_back(l) : rest.push_back(l));
    lines_ = std::move(rest);
    return taken;
}

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dkq-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string readFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace dkq::test
