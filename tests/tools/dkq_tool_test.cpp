// dkq as scripts and technicians use it against dkqsim: command lines with
// their exact outputs and exit statuses, a signal during a download, poll
// through failures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>

#include "common/text.h"
#include "common/version.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/sim_process.h"

namespace dkq::test {
namespace {

// Output with the times of this run taken out: each ISO 8601 time must parse
// back to about now, in the zone of the run (UTC+05:30), and becomes "T";
// any other date and time becomes "t"; a download's duration goes.
std::string withoutTimes(std::string text) {
    const std::regex iso(R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)\.\d{3}\+05:30)");
    for (std::smatch m; std::regex_search(text, m, iso);) {
        std::tm local{};
        strptime(m.str(1).c_str(), "%Y-%m-%dT%H:%M:%S", &local);
        EXPECT_LT(std::abs(timegm(&local) - 19800 - std::time(nullptr)), 60) << m[0];
        text = m.prefix().str() + "T" + m.suffix().str();
    }
    text = std::regex_replace(
        text, std::regex(R"(\d{4}-\d\d-\d\d[ T] ?\d{1,2}:\d\d:\d\d(\.\d{3})?)"), "t");
    return std::regex_replace(text, std::regex(R"( w czasie \d+ s( \([ .\d]+ rek/s\))?)"), "");
}

// Console commands before the run (';' between them), the words ({tcp},
// {port}, {pty} and {tcp6} stand for the simulators', {mbap} for the port of
// a Modbus/TCP server), the exit status, standard output and error exactly
// (or up to "..." at the end).
struct Row {
    const char* console;
    const char* words;
    int status;
    std::string out;
    std::string err;
};

const std::string kUsage = "usage: dkq [OPTIONS] COMMAND [ARGS...]   (dkq --help lists them)\n";
const std::string kFull = "dkq: cannot write output: No space left on device\n";

// dkq started in the background by a shell that tells its process id and
// then becomes dkq: its standard output read line by line as it comes,
// standard error into `errPath` (a file or a terminal).
class RunningDkq {
  public:
    RunningDkq(const std::string& words, const std::string& errPath)
        : out_(popen(
              ("echo $$; exec '" + toolPath("DKQ_TOOL") + "' " + words + " 2>" + errPath).c_str(),
              "r")),
          pid_(std::stoi("0" + line())) {}
    RunningDkq(const RunningDkq&) = delete;
    RunningDkq& operator=(const RunningDkq&) = delete;
    ~RunningDkq() {
        if (out_ != nullptr) kill(pid_, SIGKILL);
        status();
    }
    std::string line() {
        char text[512];
        if (out_ == nullptr || std::fgets(text, sizeof text, out_) == nullptr) return "";
        const std::string read = text;
        return read.ends_with('\n') ? read.substr(0, read.size() - 1) : read;
    }
    void signal(int number) const { kill(pid_, number); }
    int status() {
        const int status = out_ == nullptr ? -1 : pclose(out_);
        out_ = nullptr;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    FILE* out_;
    pid_t pid_;
};

class DkqTool : public ::testing::Test {
  protected:
    std::string tcp() const { return "127.0.0.1:" + std::to_string(sim.tcpPort()); }
    std::string expand(std::string text) const {
        for (const auto& [from, to] : {std::pair{"{tcp}", "--tcp " + tcp()},
                                       {"{port}", std::to_string(sim.tcpPort())},
                                       {"{pty}", sim.ptyPath()},
                                       {"{tcp6}", "--tcp [::1]:" + std::to_string(sim6.tcpPort())},
                                       {"{mbap}", std::to_string(modbusTcp.port())}})
            for (size_t at = 0; (at = text.find(from, at)) != std::string::npos;)
                text.replace(at, std::string_view(from).size(), to);
        return text;
    }
    void expectText(const std::string& actual, const std::string& expected, const Row& row) {
        const std::string wanted = expand(expected);
        if (wanted.ends_with("..."))
            EXPECT_EQ(actual.substr(0, wanted.size() - 3), wanted.substr(0, wanted.size() - 3))
                << row.words;
        else
            EXPECT_EQ(actual, wanted) << row.words;
    }

    ScratchDir dir;
    SimProcess sim{{"--deterministic", "--modules", "1,2,5,30", "--mute", "5", "--tcp",
                    "127.0.0.1:0", "--pty", dir.file("bus"), "--trace", "--rec-count", "100"}};
    SimProcess sim6{{"--deterministic", "--modules", "2", "--tcp", "[::1]:0"}};
    // An exception answer in Modbus/TCP's framing, its transaction the echo of ":0".
    ScriptedPeer modbusTcp{{ScriptedReply::text(std::string(":0\0\0\0\3\1\x84\2", 9))}};
};

TEST_F(DkqTool, CommandLinesGiveTheirOutputsAndExitStatuses) {
    std::filesystem::create_directories("config/Veldmark");
    std::ofstream("config/Veldmark/Ports.conf")
        << "[General]\nCOM3=" << sim.ptyPath() << "\nCOM4=/nonexistent/tty\n";
    const std::string environment = "TZ=IST-5:30 XDG_CONFIG_HOME=" + dir.file("config");
    const Row rows[] = {
        // Registers, counted from 0; the configuration memory by its name.
        {"", "--log {tcp} read-input 2 16 4", 0, "200 201 202 203\n", ""},
        {"", "read-input 2 16 2 --tcp=127.0.0.1:{port}", 0, "200 201\n", ""},
        {"", "{tcp6} read-input 2 16 2", 0, "200 201\n", ""},
        {"", "--trace --device {pty} read-input 2 16 2", 0, "200 201\n",
         "t > :020400100002E8\nt < :02040400C800C965\n"},
        {"", "{tcp} read-config 2 3 1", 0, "-26110\n", ""},
        {"", "{tcp} write-config 1 50 7 -1 0xFFFF", 0, "", ""},
        {"", "{tcp} write-register 1 16 3", 0, "", ""},
        {"", "{tcp} write-coil 1 5 on", 0, "", ""},
        {"", "{tcp} clear-counters 2 0x0F", 0, "", ""},
        {"", "{tcp} write-text 1 254 \"Żółw 1\"", 0, "", ""},
        {"", "{tcp} --hex read-config 1 50 3", 0, "0007 FFFF FFFF\n", ""},
        {"", "{tcp} read-holding 1 16 1", 0, "35\n", ""},
        {"", "--device {pty} diag1 2 0", 0,
         "25 12 34 56 78 9A 02 78 32 A5 B1\nv25  SN=123456789A02 SUM=A5\n", ""},
        {"", "{tcp} read-signed 1 0 1", 64, "",
         "dkq: read-signed is now read-config: it reads or writes the configuration memory\n" +
             kUsage},
        {"", "{tcp} poll write-registers 1 0 1", 64, "",
         "dkq: write-registers is now write-config: it reads or writes the configuration "
         "memory\nusage: dkq [OPTIONS] poll ..."},
        {"", "help read-config", 0,
         "usage: dkq [OPTIONS] read-config ADDR START COUNT\nread configuration memory registers "
         "as signed values (function 30)\n",
         ""},
        {"", "write-config 1 -h", 0,
         "usage: dkq [OPTIONS] write-config ADDR START VALUE...\nwrite configuration memory "
         "registers: calibration, rules, flags (function 31)\n",
         ""},
        {"", "-V", 0, "dkq " + std::string(SuiteVersion) + "\n", ""},
        // Exceptions by name, over TCP and on the serial line.
        {"", "{tcp} read-input 1 0 125", 10, "",
         "dkq: read failed: exception 2: illegal data address\n"},
        {"", "--device {pty} write-coil 1 12 on", 10, "",
         "dkq: write-coil failed: exception 2: illegal data address\n"},
        {"", "{tcp} --format csv read-input 1 19 2", 10,
         "time;addr;reg19;reg20;code;error\nT;1;;;10;exception 2: illegal data address\n",
         "dkq: read failed: exception 2: illegal data address\n"},
        // Formats: ISO times, failures as rows, the same bases everywhere.
        {"", "{tcp} --format csv read-input 2 16 2", 0,
         "time;addr;reg16;reg17;code;error\nT;2;0;0;0;\n", ""},
        {"", "{tcp} --format=json --hex read-holding 1 12 2", 0,
         "{\"address\":1,\"start\":12,\"values\":[\"2EE1\",\"1389\"],\"time\":\"T\",\"code\":0}\n",
         ""},
        {"", "{tcp} --timeout 50 --format csv poll --count 1 read-input 5 16 1", 1,
         "time;addr;reg16;code;error\nT;5;;1;code 1 (no answer within the time-out)\n",
         "dkq: t read failed: code 1 (no answer within the time-out)\n"},
        {"", "{tcp} --format csv poll --interval 0 --count 3 read-input 2 16 2", 0,
         "time;addr;reg16;reg17;code;error\nT;2;0;0;0;\nT;2;0;0;0;\nT;2;0;0;0;\n", ""},
        {"", "{tcp} --format csv diag1 2", 0,
         "addr;firmware;serial;supply;logic_supply;program_sum;eeprom_sum\n2;25;123456789A02;78;"
         "32;A5;B1\n",
         ""},
        {"", "{tcp} --format json diag2 2", 0,
         "{\"address\":2,\"bytes\":\"02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 "
         "16 17 18 19 1A 1B 1C 1D 1E 1F\"}\n",
         ""},
        {"fault bad-lrc:30", "{tcp} --timeout 50 scan --from=29", 1, "0 of 3 addresses answered\n",
         "dkq: scan of address 30 failed: code 7 (LRC error or malformed frame)\n"},
        {"clear-faults", "scan --to 5 {tcp} --timeout 50 --format json --from 2", 0,
         "{\"address\":2,\"firmware\":\"25\",\"serial\":\"123456789A02\",\"supply\":\"78\","
         "\"logic_supply\":\"32\",\"program_sum\":\"A5\",\"eeprom_sum\":\"B1\"}\n",
         "dkq: 1 of 4 addresses answered\n"},
        // Opening the line.
        {"", "--tcp localhost:{port} read-input 2 17 1", 0, "0\n", ""},
        {"", "--tcp 127.0.0.1:1 read-input 1 0 1", 9, "",
         "dkq: cannot connect to 127.0.0.1:1: Connection refused\n"},
        {"", "--tcp 127.0.0.1:1 logger-status", 9, "",
         "dkq: cannot connect to 127.0.0.1:1: Connection refused\n"},
        {"", "--device /nonexistent read-input 1 0 1", 9, "",
         "dkq: cannot open /nonexistent: No such file or directory\n"},
        {"", "--com 4 read-input 1 0 1", 9, "",
         "dkq: cannot open COM4 (/nonexistent/tty): No such file or directory\n"},
        {"", "--com 3 read-input 2 18 1", 0, "0\n", ""},
        {"", "--device {pty} --baud 256000 logger-status", 9, "",
         "dkq: cannot open {pty}: the port does not take 256000 baud\n"},
        {"", "{tcp} --baud 9600 diag1 1", 64, "",
         "dkq: --baud applies to --com and --device, not to --tcp\nusage: dkq [OPTIONS] diag1 ADDR "
         "[SUB]\n..."},
        {"", "--log=1 {tcp} diag1 1", 64, "", "dkq: --log takes no value\n" + kUsage},
        {"", "--bogus {tcp} diag1 1", 64, "",
         "dkq: unknown option --bogus\nusage: dkq [OPTIONS] diag1 ..."},
        {"", "{tcp} read-input 1 0 4 --fromat=csv", 64, "",
         "dkq: unknown option --fromat\nusage: dkq [OPTIONS] read-input ..."},
        {"", "-r 1 {tcp} read-input", 64, "",
         "dkq: unknown option -r; for mbpoll's -a -r -c -t dkq takes words after the command: "
         "read-input|read-holding ADDR START COUNT, registers counted from 0\n" +
             kUsage},
        {"", "{tcp} read-holding 0 16 1", 64, "",
         "dkq: ADDR 0 (every module) is for writes only\nusage: dkq [OPTIONS] read-holding ..."},
        {"", "{tcp} config-read 0 x.dkq", 64, "",
         "dkq: ADDR 0 (every module) is for writes only\n..."},
        {"", "{tcp} read-input 1 65535 2", 64, "",
         "dkq: START 65535 with 2 registers passes register 65535\n..."},
        {"", "--device {pty} --timeout 50 diag1 1", 64, "",
         "dkq: --timeout applies to --tcp only..."},
        {"", "{tcp} read-input 2 16 2 >/dev/full", 74, "", kFull},
        {"", "{tcp} poll --interval 0.01 read-input 2 16 2 >/dev/full", 74, "", kFull},
        {"", "--tcp 127.0.0.1:{mbap} --timeout 100 read-input 1 0 2", 2, "",
         "dkq: read failed: code 2 (wrong answer length or header): this looks like Modbus/TCP, "
         "not ASCII\n"},
        {"", "ports --format=json x", 64, "",
         "dkq: expected 0 arguments, got 1\nusage: dkq ports\n"},
        {"", "{tcp} read-input 1 0 126", 64, "",
         "dkq: COUNT must be 1..125\nusage: dkq [OPTIONS] read-input ..."},
        // The record memory; its module muted or damaged.
        {"", "{tcp} logger-status", 0,
         "Wersja modułu: V1.7\nRozmiar pamięci [MB]:  1.1\nLiczba rekordów w pamięci: 100\nMax. "
         "liczba rekordów: 65520\nDługość rekordu [B]: 18\nZajętość pamięci: 0 %\nOkres logowania "
         "[s]: 60\nLogowanie włączone: nie\nBufor cykliczny: nie\nPojemność pamięci [h]: "
         "1092\nUstawienie zegara: t\nCzas odczytu danych: 0.4 sekund\nLogowane rejestry: L1 L2 "
         "L3 L4\n",
         ""},
        {"", "{tcp} --format csv logger-status", 0,
         "version;memory_mb;records;max_records;record_length;occupancy_percent;period_s;logging;"
         "cyclic;capacity_h;module_clock;download_s;items\nV1.7;1.1;100;65520;18;0;60;false;false;"
         "1092;t;0.4;L1 L2 L3 L4\n",
         ""},
        {"", "{tcp} logger-download dane", 0,
         "Transfer zakończony.\nPrzesłano 100 rekordów\nLiczba powtórzeń transmisji: 0\nLiczba "
         "niepoprawnych rekordów: 0\n",
         ""},
        {"", "{tcp} logger-download .", 73, "", "dkq: cannot write .: Is a directory\n"},
        {"", "{tcp} logger-download - --write-invalid", 0, "Lp;Czas RTC;L1 [V] ;...",
         "Transfer zakończony.\nPrzesłano 100 rekordów\n..."},
        {"mute 1", "{tcp} --timeout 50 logger-status", 1, "", "Brak odpowiedzi S z modułu!\n"},
        {"unmute 1;fault bad-lrc:1", "{tcp} logger-status", 7, "", "Błąd w odpowiedzi S!\n"},
        {"clear-faults", "{tcp} logger-settings --on --items 1-2,34", 0, "Ustawienia przesłane.\n",
         "dkq: the logged items changed: clear the record memory now with \"dkq logger-clear\"\n"},
        {"", "{tcp} logger-settings --items 40", 64, "",
         "dkq: --items must be a list of items 1..39, or none\nusage: dkq [OPTIONS] "
         "logger-settings ..."},
        {"", "{tcp} logger-clock", 0, "Zegar ustawiony.\n", ""},
        {"", "{tcp} logger-clear", 0, "Zawartość pamięci skasowana.\n", ""},
        {"", "{tcp} logger-download pusty.csv", 11, "", "Brak danych do odczytania z modułu\n"},
    };
    std::vector<std::string> sent;  // logging settings
    for (const Row& row : rows) {
        for (size_t from = 0; *row.console && from != std::string::npos;) {
            const size_t end = std::string(row.console).find(';', from);
            EXPECT_EQ(sim.command(std::string(row.console).substr(from, end - from)), "ok");
            from = end == std::string::npos ? end : end + 1;
        }
        const ToolRun run = runDkq(expand(row.words), environment);
        EXPECT_EQ(run.status, row.status) << row.words << "\n" << run.err;
        expectText(withoutTimes(run.out), row.out, row);
        expectText(withoutTimes(run.err), row.err, row);
        for (const std::string& line : sim.takeLines("rx", 50)) {
            if (line.starts_with("rx *LG")) sent.push_back(line);
            EXPECT_NE(row.status, 64) << row.words << ": a usage error sent " << line;
        }
    }
    EXPECT_EQ(sent, std::vector<std::string>{"rx *LG=1,0,60,3,0,0,0,2"});
    const std::vector<std::string> rows100 = decodeTextLines(readFileBytes("dane"));
    ASSERT_EQ(rows100.size(), 101u);
    EXPECT_EQ(rows100[100], "100;2024-03-01  1:39:00;1,100;2,100;3,100;4,100;1");
    const std::string log = readFileBytes("dkq_comm.log");
    for (const char* line : {">\tconnect OK, ", " ms (27 B)\r\n", ">\tclose_com\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << log;
    const std::string help =
        runDkq("diag1 --help --bogus-after-command -h").out + runDkq("--help").out;
    for (const char* line :
         {"\n  read-input ADDR START COUNT ", "(function 4)\n", "\n  read-config ADDR START COUNT ",
          "(function 30)\n", "\n  write-config ADDR START VALUE... ", "(function 31)\n",
          "counted from 0", "\n  --baud B ", "default 9600", "default 800", "default 6000",
          "TCP only", "\n  -q, --quiet ", "10 the module answered with a Modbus exception"})
        EXPECT_NE(help.find(line), std::string::npos) << line;
    // One program at a time on a serial port.
    RunningDkq holder("--device " + sim.ptyPath() + " poll --interval 0.05 read-input 2 16 1",
                      "/dev/null");
    holder.line();
    const ToolRun busy = runDkq("--device " + sim.ptyPath() + " read-input 2 16 1");
    EXPECT_EQ(std::to_string(busy.status) + busy.err,
              "9dkq: cannot open " + sim.ptyPath() + ": port busy\n");
    holder.signal(SIGTERM);
}

// A signal ends a download after its batch: whole rows kept, "*EOT!" twice,
// the summary, 128 + the signal's number. Progress shows on a terminal,
// unless --quiet.
TEST(DkqDownload, ASignalEndsItCleanly) {
    for (const auto& [signal, quiet] : {std::pair{SIGINT, ""}, std::pair{SIGTERM, " -q"}}) {
        ScratchDir dir;
        SimProcess sim({"--tcp", "127.0.0.1:0", "--trace", "--rec-count", "5000", "--delay", "5"});
        const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
        RunningDkq dkq("--tcp 127.0.0.1:" + std::to_string(sim.tcpPort()) + quiet +
                           " logger-download dane.csv",
                       ptsname(terminal));
        while (readFileBytes("dane.csv").size() < 1000) usleep(10000);  // a few batches in
        dkq.signal(signal);
        EXPECT_EQ(dkq.status(), 128 + signal);
        const auto commands = sim.takeLines("rx *");
        ASSERT_GE(commands.size(), 2u);
        EXPECT_EQ(commands.back() + commands[commands.size() - 2], "rx *EOT!rx *EOT!");
        const std::string csv = readFileBytes("dane.csv");
        const auto rows = decodeTextLines(csv);
        ASSERT_GT(rows.size(), 1u);
        EXPECT_TRUE(csv.ends_with("\r\n"));
        const std::string count = std::to_string(rows.size() - 1);
        EXPECT_TRUE(rows.back().starts_with(count + ";2024-")) << rows.back();
        fcntl(terminal, F_SETFL, O_NONBLOCK);
        std::string err;
        char shown[512];
        for (ssize_t n; (n = read(terminal, shown, sizeof shown)) > 0;)
            err.append(shown, static_cast<size_t>(n));
        close(terminal);
        EXPECT_EQ(err.find("\rNr rekordu: ") == std::string::npos, *quiet != '\0') << err;
        EXPECT_NE(err.find("dkq: download stopped by signal " + std::to_string(signal) + " after " +
                           count + " of 5000 records; the rows read are in dane.csv"),
                  std::string::npos)
            << err;
    }
}

// poll goes on through a dropped connection and a silent module, a failed
// round a CSV row with its code; after Ctrl+C the last round decides.
TEST(DkqPoll, GoesOnThroughFailures) {
    ScratchDir dir;
    SimProcess sim({"--deterministic", "--modules", "7", "--tcp", "127.0.0.1:0"});
    RunningDkq poll("--tcp 127.0.0.1:" + std::to_string(sim.tcpPort()) +
                        " --timeout 30 --format csv poll --interval 0.1 read-holding 7 17 2",
                    "err");
    EXPECT_EQ(poll.line(), "time;addr;reg17;reg18;code;error");
    const std::regex row(R"(\d{4}-\d\d-\d\dT[^;]+;7;700;701;0;)");
    EXPECT_TRUE(std::regex_match(poll.line(), row));
    sim.command("drop");  // the link is opened again
    EXPECT_TRUE(poll.line().ends_with(";7;;;3;code 3 (peer closed the connection)"));
    EXPECT_TRUE(std::regex_match(poll.line(), row));
    ASSERT_EQ(sim.command("mute 7"), "ok");
    std::string failed;
    while ((failed = poll.line()).ends_with(";0;")) {
    }
    EXPECT_TRUE(failed.ends_with(";7;;;1;code 1 (no answer within the time-out)")) << failed;
    poll.signal(SIGINT);
    EXPECT_EQ(poll.status(), 1);
}

}  // namespace
}  // namespace dkq::test
