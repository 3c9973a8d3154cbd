// Every writer of every program with a symbolic link planted at the name it
// really writes (a save's first temporary name is fixed by its tag): the
// link's target stays as it was. A CSV file or log that is a link is a file
// that cannot be opened, told on standard error; a file written whole
// replaces the link with a file of its own, of the usual permissions.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "link/log_file.h"
#include "tests/multimon/fakes.h"
#include "tests/webmon/fakes.h"
#include "upload/http_upload.h"

namespace dkq {
namespace {

namespace fs = std::filesystem;
using PlantedLink = test::CoreTest;

TEST_F(PlantedLink, NoWriterWritesThroughALinkAtItsName) {
    umask(022);
    setenv(SavingTagVariable, "t", 1);
    test::SimProcess sim(
        {"--tcp", "127.0.0.1:0", "--deterministic", "--state", "state.txt", "--rec-count", "2"});
    const std::string tcp = "--tcp 127.0.0.1:" + std::to_string(sim.tcpPort()) + " ";
    const auto dkq = [&](const std::string& words) {
        const test::ToolRun run = test::runDkq(tcp + words);
        return std::to_string(run.status) + " " + run.err;
    };
    const auto saved = [&](const std::string& value) {
        const std::string ack = sim.command("set-config 1 239 " + value) + " ";
        const std::string state = test::readFileBytes("state.txt");
        return ack + state.substr(state.size() - 3);
    };
    view_.fields.useTcp = 1;
    view_.fields.ipAddress = "127.0.0.1";
    view_.fields.tcpPort = sim.tcpPort();
    test::FakeWebView webView;
    static_cast<LinkSettings&>(webView.fields) = view_.fields;
    ModuleLink webLink;
    WebMonitorCore web{webLink, webView, prompter_, clock_, {300, 700, 1000, 2000}};
    core_.StartMonitoring();
    const std::string told = ": not opened for writing: it is a symbolic link\n";
    const struct {
        const char* planted;
        std::function<std::string()> run;  // the program's answer; standard error follows
        std::string answer;
        bool replaced = false;  // by a file of the writer's own
    } writers[] = {
        // A row of multimon's waits; webmon does not start.
        {"pomiary.csv",
         [&] {
             core_.AcquisitionTick();
             return std::to_string(view_.fileProblem.waitingRecords) + " ";
         },
         "1 pomiary.csv" + told},
        {"rejestr0.csv",
         [&] {
             web.StartMonitoring();
             return prompter_.messages.empty() ? "" : prompter_.messages.back().text + " ";
         },
         "Błąd otwarcia pliku do zapisu. rejestr0.csv" + told},
        {"dkq_comm.log", [&] { return dkq("--log diag1 1"); }, "0 dkq_comm.log" + told},
        {"dkq_comm.log.1",
         [&] {
             fs::remove("dkq_comm.log");
             std::ofstream("dkq_comm.log") << std::string(LogRotationBytes, 'x');
             return dkq("--log diag1 1");
         },
         "0 ", true},
        {"log_http.log",
         [] {
             reportUploadNotice("x", AnswerLogFile, true);
             return std::string();
         },
         "webmon: x\nlog_http.log" + told},
        {"dane.csv", [&] { return dkq("logger-download dane.csv"); }, "0 ", true},
        {"x.dkq", [&] { return dkq("config-read 1 x.dkq"); }, "0 ", true},
        {"x.dkq.saving-t", [&] { return dkq("config-read 1 x.dkq"); }, "0 "},
        {"state.txt", [&] { return saved("5"); }, "ok  5\n", true},
        {"state.txt.saving-t", [&] { return saved("6"); }, "ok  6\n"},
    };
    for (const auto& writer : writers) {
        fs::remove(writer.planted);
        std::ofstream("target") << "kept";
        fs::permissions("target", fs::perms(0600));
        fs::create_symlink("target", writer.planted);
        testing::internal::CaptureStderr();
        const std::string answer = writer.run();
        EXPECT_EQ(answer + testing::internal::GetCapturedStderr(), writer.answer) << writer.planted;
        EXPECT_EQ(test::readFileBytes("target"), "kept") << writer.planted;
        // A link keeps its own permissions (0777); the file of the writer's own has 0644.
        EXPECT_EQ(fs::symlink_status(writer.planted).permissions(),
                  fs::perms(writer.replaced ? 0644 : 0777))
            << writer.planted;
    }
}

}  // namespace
}  // namespace dkq
