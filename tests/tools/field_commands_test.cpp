// dkq scan and poll against dkqsim, and the script formats read back.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <csignal>
#include <regex>
#include <sstream>

#include "tests/support/sim_process.h"

namespace dkq {
namespace {

// dkq as a child process: its standard output read line by line as it comes,
// standard error collected in a file.
class RunningDkq {
  public:
    explicit RunningDkq(const std::string& arguments) {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        const std::string command =
            "exec " + test::toolPath("DKQ_TOOL") + " " + arguments + " 2>err";
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        }
        close(out[1]);
        fd_ = out[0];
    }
    ~RunningDkq() { close(fd_); }
    std::string line(int timeoutMs = 3000) {
        for (size_t end; (end = pending_.find('\n')) == std::string::npos;) {
            pollfd p{fd_, POLLIN, 0};
            char buf[512];
            const ssize_t n = poll(&p, 1, timeoutMs) == 1 ? read(fd_, buf, sizeof buf) : 0;
            if (n <= 0) return "";
            pending_.append(buf, static_cast<size_t>(n));
        }
        const std::string text = pending_.substr(0, pending_.find('\n'));
        pending_.erase(0, text.size() + 1);
        return text;
    }
    std::vector<std::string> rest() {
        std::vector<std::string> lines;
        for (std::string l; !(l = line()).empty();) lines.push_back(l);
        return lines;
    }
    void interrupt() const { kill(pid_, SIGINT); }
    int status() const {
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    static std::string err() { return test::readFileBytes("err"); }

  private:
    int pid_ = -1;
    int fd_ = -1;
    std::string pending_;
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> fields;
    std::stringstream in(text);
    for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
    return fields;
}

QJsonObject json(const std::string& line) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

const std::regex kTime(R"(\d{4}-\d\d-\d\d \d{1,2}:\d\d:\d\d\.\d{3})");

class FieldCommands : public ::testing::Test {
  protected:
    std::string dkq(const std::string& options) const {
        return "--tcp 127.0.0.1:" + std::to_string(sim.tcpPort()) + " --timeout 30 " + options;
    }
    test::ScratchDir dir;
    test::SimProcess sim{{"--deterministic", "--modules", "3,7,12,30", "--mute", "12", "--fault",
                          "bad-lrc:30", "--trace", "--tcp", "127.0.0.1:0"}};
};

TEST_F(FieldCommands, ScanFindsTheAnsweringModulesAskingEachAddressOnce) {
    RunningDkq text(dkq("scan"));
    EXPECT_EQ(text.rest(), (std::vector<std::string>{"3  v25  SN=123456789A03  UZ=78 Vcc=32",
                                                     "7  v25  SN=123456789A07  UZ=78 Vcc=32",
                                                     "2 of 31 addresses answered"}));
    EXPECT_EQ(text.status(), 0);
    EXPECT_EQ(RunningDkq::err(),
              "dkq: scan of address 30 failed: code 7 (LRC error or malformed frame)\n");
    EXPECT_EQ(sim.takeLines("rx :").size(), 31u);  // muted 12 and the empty addresses: no repeats

    RunningDkq csv(dkq("--format csv scan --from 7 --to 12"));
    EXPECT_EQ(csv.rest(), (std::vector<std::string>{"addr;firmware;serial;supply;logic_supply",
                                                    "7;25;123456789A07;120;50"}));
    EXPECT_EQ(csv.status(), 0);
    EXPECT_EQ(RunningDkq::err(), "1 of 6 addresses answered\n");

    RunningDkq jsonScan(dkq("--format json scan --from 3 --to 3"));
    EXPECT_EQ(json(jsonScan.line()), (QJsonObject{{"address", 3},
                                                  {"firmware", "25"},
                                                  {"serial", "123456789A03"},
                                                  {"supply", 120},
                                                  {"logic_supply", 50}}));
    EXPECT_EQ(jsonScan.status(), 0);

    RunningDkq none(dkq("scan --from 8 --to 12"));
    EXPECT_EQ(none.rest(), std::vector<std::string>{"0 of 5 addresses answered"});
    EXPECT_EQ(none.status(), 1);
}

TEST_F(FieldCommands, ReadsInEveryFormat) {
    RunningDkq csv(dkq("--format csv read-input 7 16 3"));
    EXPECT_EQ(csv.line(), "time;addr;reg16;reg17;reg18");
    const auto row = split(csv.line(), ';');
    ASSERT_EQ(row.size(), 5u);
    EXPECT_TRUE(std::regex_match(row[0], kTime)) << row[0];
    EXPECT_EQ(std::vector<std::string>(row.begin() + 1, row.end()),
              (std::vector<std::string>{"7", "700", "701", "702"}));
    EXPECT_EQ(csv.status(), 0);

    RunningDkq hex(dkq("--hex read-signed 3 3 1"));  // 0x9A03, negative as signed
    EXPECT_EQ(hex.rest(), std::vector<std::string>{"9A03"});

    RunningDkq jsonHex(dkq("--format json --hex read-holding 7 12 2"));
    QJsonObject reading = json(jsonHex.line());
    EXPECT_TRUE(std::regex_match(reading.take("time").toString().toStdString(), kTime));
    EXPECT_EQ(reading, (QJsonObject{{"address", 7},
                                    {"start", 12},
                                    {"code", 0},
                                    {"values", QJsonArray{"2EE7", "138F"}}}));  // 12007, 5007
}

TEST_F(FieldCommands, PollKeepsGoingThroughFailuresAndExitsWithTheLastCode) {
    // Counted: five rounds, the module silent in the middle ones.
    RunningDkq counted(dkq("--format json poll --interval 0.2 --count 5 read-input 3 16 1"));
    EXPECT_EQ(json(counted.line())["values"].toArray(), QJsonArray{300});
    ASSERT_EQ(sim.command("mute 3"), "ok");
    std::vector<QJsonObject> rounds;
    for (std::string l; rounds.empty() || rounds.back()["code"].toInt() == 0;) {
        ASSERT_FALSE((l = counted.line()).empty());
        rounds.push_back(json(l));
    }
    EXPECT_EQ(rounds.back()["values"], QJsonArray{});
    ASSERT_EQ(sim.command("unmute 3"), "ok");
    const auto last = counted.rest();
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(rounds.size() + last.size(), 4u);
    EXPECT_EQ(json(last.back())["code"].toInt(), 0);
    EXPECT_EQ(counted.status(), 0);
    EXPECT_NE(RunningDkq::err().find(" read failed: code 1 (no answer within the time-out)\n"),
              std::string::npos);

    // Until SIGINT, through a dropped connection; the last round decides.
    RunningDkq endless(dkq("--format csv poll --interval 0.1 read-holding 7 17 2"));
    EXPECT_EQ(endless.line(), "time;addr;reg17;reg18");
    for (int i = 0; i < 4; ++i) {
        const auto row = split(endless.line(), ';');
        ASSERT_EQ(row.size(), 4u);
        EXPECT_EQ(row[3], "701");
        if (i == 1) sim.command("drop");  // the link is opened again
    }
    endless.interrupt();
    endless.rest();
    EXPECT_EQ(endless.status(), 0);
    EXPECT_NE(RunningDkq::err().find("code 3 (peer closed the connection)"), std::string::npos);

    ASSERT_EQ(sim.command("mute 7"), "ok");
    RunningDkq failing(dkq("poll --interval 0.1 read-holding 7 17 2"));
    for (int i = 0; i < 100 && RunningDkq::err().find("code 1") == std::string::npos; ++i)
        usleep(20000);
    failing.interrupt();
    EXPECT_EQ(failing.rest(), std::vector<std::string>{});
    EXPECT_EQ(failing.status(), 1);
}

TEST_F(FieldCommands, UsageErrorsNameTheProblemFirst) {
    const std::pair<const char*, const char*> cases[] = {
        {"read-input 3 0 126", "COUNT must be 1..125"},
        {"poll --interval 0 read-input 3 0 1", "--interval must be 0.001..86400 seconds"},
        {"poll --count 2 write-register 3 0 1", "the command to repeat must be one of"},
        {"scan --from 9 --to 3", "--from must not be above --to"},
        {"--format xml scan", "--format must be text, csv or json"},
    };
    for (const auto& [args, problem] : cases) {
        RunningDkq run(dkq(args));
        EXPECT_EQ(run.status(), 64) << args;
        EXPECT_EQ(RunningDkq::err().rfind("dkq: " + std::string(problem), 0), 0u) << args;
        EXPECT_NE(RunningDkq::err().find("\nusage: dkq"), std::string::npos) << args;
    }
}

}  // namespace
}  // namespace dkq
