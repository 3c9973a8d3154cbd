// Upload benchmark: what sending every record costs the recording, in one
// run. Three webmon cores record from the simulated module at every tick
// (period 0), the ticks paced by a timer as the window's timer paces them
// (20 ms here instead of 1000 ms, so that a run takes a minute): one without
// upload, one sending to a loopback server that accepts and never answers,
// one to a server that answers. They take turns in rounds so that all see the
// same machine. Reported: rows per minute against the run without upload
// (goal with the silent server: at least 0.98) and the processor time each
// record adds, upload worker included (goal: under 1 ms). The servers run in
// a child process, so their own work is not counted.
// Usage: upload_bench [DKQSIM]  (default: $DKQSIM)
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "settings/registry_key.h"
#include "tests/support/core_fakes.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "upload/http_upload.h"
#include "webmon/web_monitor_core.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Rounds = 3;
constexpr int TicksPerRound = 250;
constexpr auto TickInterval = std::chrono::milliseconds(20);

class NullView : public dkq::WebMonitorView {
  public:
    void readFields(dkq::WebMonitorSettings& settings) override { settings = fields; }
    void showFields(const dkq::WebMonitorSettings& settings) override { fields = settings; }
    void showModule(const dkq::ModuleSlot&) override {}
    void showValues(const dkq::ModuleSlot&) override {}
    void showCountdown(int) override {}
    void showSavedCount(int) override {}
    void showReadback(const dkq::OutputReadback&) override {}
    void showConnectionLost(bool) override {}
    void showUploading(bool) override {}
    void showUploadState(const dkq::UploadState&) override {}
    void showMonitoring(bool) override {}

    dkq::WebMonitorSettings fields;
};

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// An HTTP server of the given mode in a child process; its port.
struct ServerProcess {
    pid_t pid = -1;
    int port = 0;

    explicit ServerProcess(dkq::test::HttpMode mode) {
        int ports[2];
        if (pipe(ports) != 0) return;
        pid = fork();
        if (pid == 0) {
            dkq::test::HttpServer server(mode, "OK");
            const int serverPort = server.port();
            [[maybe_unused]] auto written = write(ports[1], &serverPort, sizeof serverPort);
            pause();
            _exit(0);
        }
        [[maybe_unused]] auto got = read(ports[0], &port, sizeof port);
        close(ports[0]);
        close(ports[1]);
    }
    ~ServerProcess() {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
};

// One webmon core recording in a folder of its own.
struct Recorder {
    std::string folder;
    dkq::ModuleLink link;
    NullView view;
    dkq::test::ScriptedPrompter prompter;
    dkq::test::FakeClock clock;
    std::unique_ptr<dkq::WebMonitorCore> core;
    double seconds = 0;
    double cpuSeconds = 0;
    int rows = 0;

    // A web-monitor.dat for the server at port, when there is one.
    Recorder(const std::string& path, int port) : folder(path) {
        std::filesystem::create_directories(folder);
        std::filesystem::current_path(folder);
        if (port != 0) {
            std::FILE* file = std::fopen("web-monitor.dat", "w");
            std::fprintf(file, "URL=127.0.0.1:%d\nUID=1021\nINREGS=1-20\nLOGRESP=1\n", port);
            std::fclose(file);
        }
        core = std::make_unique<dkq::WebMonitorCore>(link, view, prompter, clock);
        core->startUp({});
    }
    void round(int simPort) {
        std::filesystem::current_path(folder);
        view.fields.useTcp = 1;
        view.fields.ipAddress = "127.0.0.1";
        view.fields.tcpPort = simPort;
        core->StartMonitoring();
        const auto start = Clock::now();
        const double cpuStart = processCpuSeconds();
        for (int tick = 0; tick < TicksPerRound; ++tick) {
            std::this_thread::sleep_until(start + tick * TickInterval);
            core->AcquisitionTick();
        }
        cpuSeconds += processCpuSeconds() - cpuStart;
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        rows += core->savedCount();
        core->StopMonitoring();
    }
    double rowsPerMinute() const { return rows * 60 / seconds; }
    double cpuMsPerRow() const { return cpuSeconds * 1000 / rows; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) setenv("DKQSIM", argv[1], 1);
    if (const char* sim = getenv("DKQSIM"))
        setenv("DKQSIM", std::filesystem::absolute(sim).c_str(), 1);
    const ServerProcess silentServer(dkq::test::HttpMode::Silent);
    const ServerProcess answeringServer(dkq::test::HttpMode::Answer);
    const dkq::CurlLibrary curl;
    const dkq::test::ScratchDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    dkq::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--deterministic"});

    Recorder plain(dir.file("plain"), 0);
    Recorder silent(dir.file("silent"), silentServer.port);
    Recorder answered(dir.file("answered"), answeringServer.port);
    if (!silent.core->uploadSettings().active() || !answered.core->uploadSettings().active()) {
        std::fprintf(stderr, "upload_bench: the upload is not active\n");
        return 1;
    }
    for (int round = 0; round < Rounds; ++round) {
        for (Recorder* recorder : {&plain, &silent, &answered}) recorder->round(sim.tcpPort());
    }
    std::printf("upload: %d ticks each, one every %lld ms; rows per minute without upload %.0f\n",
                Rounds * TicksPerRound, static_cast<long long>(TickInterval.count()),
                plain.rowsPerMinute());
    for (const Recorder* recorder : {&silent, &answered}) {
        std::printf(
            "upload: %s server: rows per minute %.0f, ratio %.3f (goal >= 0.98); "
            "processor time added per record %.3f ms (goal < 1 ms)\n",
            recorder == &silent ? "never-answering" : "answering", recorder->rowsPerMinute(),
            recorder->rowsPerMinute() / plain.rowsPerMinute(),
            recorder->cpuMsPerRow() - plain.cpuMsPerRow());
    }
    std::filesystem::current_path(dir.path());
    return 0;
}
