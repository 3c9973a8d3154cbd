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
    const auto saved = [&](const std::string& value) {  // the answer, the file's last value
        const std::string ack = sim.command("set-config 1 239 " + value);
        const std::string state = test::readFileBytes("state.txt");
        return ack + state.substr(state.rfind(' '));
    };
    view_.fields.useTcp = 1;
    view_.fields.ipAddress = "127.0.0.1";
    view_.fields.tcpPort = sim.tcpPort();
    test::FakeWebView webView;
    static_cast<LinkSettings&>(webView.fields) = view_.fields;
    ModuleLink webLink;
    WebMonitorCore web{webLink, webView, prompter_, clock_, {300, 700, 1000, 2000}};
    core_.StartMonitoring();
    std::ofstream("dkq_comm.log") << std::string(LogRotationBytes, 'x');
    const std::string told = ": not opened for writing: it is a symbolic link\n";
    // The name made a link, the program's answer followed by its standard error,
    // whether the link is replaced by a file of the writer's own.
    const std::tuple<const char*, std::function<std::string()>, std::string, bool> writers[] = {
        {"pomiary.csv",  // multimon's row waits
         [&] { return core_.AcquisitionTick(), std::to_string(view_.fileProblem.waitingRecords); },
         "1pomiary.csv" + told, false},
        {"rejestr0.csv",  // webmon does not start
         [&] { return web.StartMonitoring(), prompter_.messages.at(0).text; },
         "Błąd otwarcia pliku do zapisu.rejestr0.csv" + told, false},
        {"dkq_comm.log.1", [&] { return dkq("--log diag1 1"); }, "0 ", true},
        {"dkq_comm.log", [&] { return dkq("--log diag1 1"); }, "0 dkq_comm.log" + told, false},
        {"log_http.log", [] { return reportUploadNotice("x", AnswerLogFile, true), std::string(); },
         "webmon: x\nlog_http.log" + told, false},
        {"web-monitor.outbox",  // the reading is counted as lost
         [] {
             Outbox outbox(OutboxFile, {});
             const bool added = outbox.add("q");
             return std::to_string(added) + outbox.problem();
         },
         "0Nie można otworzyć kolejki do serwera web-monitor.outbox: to dowiązanie "
         "symboliczne.web-monitor.outbox" +
             told,
         false},
        {"dane.csv", [&] { return dkq("logger-download dane.csv"); }, "0 ", true},
        {"x.dkq", [&] { return dkq("config-read 1 x.dkq"); }, "0 ", true},
        {"x.dkq.saving-t", [&] { return dkq("config-read 1 x.dkq"); }, "0 ", false},
        {"state.txt", [&] { return saved("5"); }, "ok 5\n", true},
        {"state.txt.saving-t", [&] { return saved("6"); }, "ok 6\n", false},
    };
    for (const auto& [planted, run, answer, replaced] : writers) {
        fs::remove(planted);
        std::ofstream("target") << "kept";
        fs::permissions("target", fs::perms(0600));
        fs::create_symlink("target", planted);
        testing::internal::CaptureStderr();
        const std::string shown = run();
        EXPECT_EQ(shown + testing::internal::GetCapturedStderr(), answer) << planted;
        EXPECT_EQ(test::readFileBytes("target"), "kept") << planted;
        // A link's own permissions are 0777.
        EXPECT_EQ(fs::symlink_status(planted).permissions(), fs::perms(replaced ? 0644 : 0777))
            << planted;
    }
}

}  // namespace
}  // namespace dkq
