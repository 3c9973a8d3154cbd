// Runs dkqsim as a child process for a test: reads where it listens from its
// first line, sends it console commands (each acknowledged by a line "ok" or
// "error ..."), collects its other output lines (trace lines), stops it.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace dkq::test {

class SimProcess {
  public:
    // Starts `$DKQSIM args...`; waits for the first line.
    explicit SimProcess(std::vector<std::string> args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    int tcpPort() const { return tcpPort_; }
    const std::string& ptyPath() const { return ptyPath_; }

    // Sends one console line and waits for its acknowledgement; returns the
    // acknowledgement line ("ok" or "error ...").
    std::string command(const std::string& line);
    // Output lines received so far that begin with prefix (consumed).
    std::vector<std::string> takeLines(const std::string& prefix, int settleMs = 100);

  private:
    bool readLine(std::string& line, int timeoutMs);

    int pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string pending_;
    std::deque<std::string> lines_;
    int tcpPort_ = 0;
    std::string ptyPath_;
};

// Path of a built tool from the environment CTest sets (DKQSIM, DKQ_TOOL).
std::string toolPath(const char* variable);

// One run of the dkq tool as a script runs it: `environment` assignments go
// before the command, `arguments` are read by the shell.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};
ToolRun runDkq(const std::string& arguments, const std::string& environment = "");

// A fresh temporary folder that is the current directory for its lifetime.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
    std::string previous_;
};

std::string readFileBytes(const std::string& path);

}  // namespace dkq::test
