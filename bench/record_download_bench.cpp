// Record download benchmark: 20000 records of 30 bytes from the simulated
// record memory over a pseudo-terminal paced at 115200 baud. The figure is
// records per second divided by what the line can carry, 11520 / (L + 2)
// records per second (goal: at least 0.9).
// Usage: record_download_bench  (dkqsim from $DKQSIM)
#include <chrono>
#include <cstdio>
#include <string>

#include "common/clock.h"
#include "common/prompter.h"
#include "link/module_link.h"
#include "logger/line_table.h"
#include "logger/logger_session.h"
#include "logger/record_download.h"
#include "tests/support/sim_process.h"

namespace {

using namespace dkq;

constexpr int kRecords = 20000;
constexpr int kRecordLength = 30;  // ten logged items
constexpr int kBaud = 115200;

// Answers the file dialog with a fixed file; prints every message.
class BenchPrompter : public Prompter {
  public:
    explicit BenchPrompter(std::string file) : file_(std::move(file)) {}
    void message(const std::string& text, MessageIcon) override {
        std::printf("%s\n", text.c_str());
    }
    bool askYesNo(const std::string&, DefaultAnswer) override { return true; }
    std::optional<std::string> chooseSaveFile(const std::string&, const std::string&,
                                              const std::string&) override {
        return file_;
    }

  private:
    std::string file_;
};

}  // namespace

int main() {
    test::ScratchDir dir;
    test::SimProcess sim({"--pty", dir.file("module"), "--baud", std::to_string(kBaud),
                          "--rec-count", std::to_string(kRecords), "--rec-items", "1-10"});
    ModuleLink link;
    link.UseTcp = 0;
    link.ComDevice = [path = sim.ptyPath()](int) { return path; };
    BenchPrompter prompter(dir.file("bench.csv"));
    SystemClock clock;
    logger::LoggerSession session(link, prompter, clock);
    if (!session.ConnectLogger(1, 9600).connected()) return EXIT_FAILURE;

    const logger::LineTable table;
    logger::RecordDownload download(session, table);
    logger::DownloadOptions options;
    options.splitFiles = false;
    if (download.start(options) != logger::DownloadStart::Started) return EXIT_FAILURE;
    const auto begin = std::chrono::steady_clock::now();
    logger::DownloadStep step = logger::DownloadStep::Running;
    while (step == logger::DownloadStep::Running) step = download.step();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    session.EndWork();
    link.close_com();
    if (step != logger::DownloadStep::Finished) return EXIT_FAILURE;

    const double rate = static_cast<double>(download.recordsDone()) / seconds;
    const double lineLimit = kBaud / 10.0 / (kRecordLength + logger::CrcBytes);
    std::printf(
        "%lld records of %d bytes over a pty at %d baud in %.2f s: %.1f records/s, line limit "
        "%.1f records/s, figure %.3f (goal >= 0.9)\n",
        static_cast<long long>(download.recordsDone()), kRecordLength, kBaud, seconds, rate,
        lineLimit, rate / lineLimit);
    return EXIT_SUCCESS;
}
