// Upload benchmark: the added cost per record of sending it to a loopback
// HTTP server, against the same recording without upload, in one run. Two
// webmon cores record every tick (period 0) from the simulated module, one
// with web-monitor.dat naming the server and one without; they take turns in
// rounds so that both see the same machine (goal: under 5 ms per record).
// Usage: upload_bench [DKQSIM]  (default: $DKQSIM)
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "common/registry_key.h"
#include "tests/support/core_fakes.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "upload/http_upload.h"
#include "webmon/web_monitor_core.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Rounds = 5;
constexpr int TicksPerRound = 100;

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
    void showMonitoring(bool) override {}

    dkq::WebMonitorSettings fields;
};

// One webmon core recording in a folder of its own.
struct Recorder {
    std::string folder;
    dkq::ModuleLink link;
    NullView view;
    dkq::test::ScriptedPrompter prompter;
    dkq::test::FakeClock clock;
    dkq::WebMonitorCore core{link, view, prompter, clock};
    double seconds = 0;

    explicit Recorder(std::string path) : folder(std::move(path)) {
        std::filesystem::current_path(folder);
        core.startUp({});
    }
    void round(int port) {
        std::filesystem::current_path(folder);
        view.fields.useTcp = 1;
        view.fields.ipAddress = "127.0.0.1";
        view.fields.tcpPort = port;
        core.StartMonitoring();
        const auto start = Clock::now();
        for (int tick = 0; tick < TicksPerRound; ++tick) core.AcquisitionTick();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        core.StopMonitoring();
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) setenv("DKQSIM", argv[1], 1);
    if (const char* sim = getenv("DKQSIM"))
        setenv("DKQSIM", std::filesystem::absolute(sim).c_str(), 1);
    const dkq::CurlLibrary curl;
    const dkq::test::ScratchDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    dkq::test::SimProcess sim({"--tcp", "127.0.0.1:0", "--deterministic"});
    dkq::test::HttpServer server(dkq::test::HttpMode::Answer, "OK");

    std::filesystem::create_directories(dir.file("plain"));
    std::filesystem::create_directories(dir.file("upload"));
    const std::string dat =
        "URL=127.0.0.1:" + std::to_string(server.port()) + "\nUID=1021\nINREGS=1-20\nLOGRESP=1\n";
    std::FILE* file = std::fopen(dir.file("upload/web-monitor.dat").c_str(), "w");
    std::fputs(dat.c_str(), file);
    std::fclose(file);

    Recorder plain(dir.file("plain"));
    Recorder uploading(dir.file("upload"));
    if (!uploading.core.uploadSettings().active()) {
        std::fprintf(stderr, "upload_bench: the upload is not active\n");
        return 1;
    }
    for (int round = 0; round < Rounds; ++round) {
        plain.round(sim.tcpPort());
        uploading.round(sim.tcpPort());
    }
    const int records = Rounds * TicksPerRound;
    const double plainMs = plain.seconds * 1000 / records;
    const double uploadMs = uploading.seconds * 1000 / records;
    std::printf(
        "upload: %d records each; without upload %.3f ms per record, with upload %.3f ms"
        " per record (%zu requests answered, answer log on)\n",
        records, plainMs, uploadMs, server.requests().size());
    std::printf("upload: added cost %.3f ms per record (goal < 5 ms)\n", uploadMs - plainMs);
    std::filesystem::current_path(dir.path());
    return 0;
}
