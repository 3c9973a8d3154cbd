// The command line, the console commands and the state file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/console.h"
#include "sim/options.h"
#include "sim/state_file.h"
#include "tests/support/sim_process.h"

namespace dkq::sim::test {
namespace {

const TimePoint Start{};

struct ListCase {
    const char* text;
    std::optional<std::vector<int>> addresses;
};

class ModuleLists : public ::testing::TestWithParam<ListCase> {};

TEST_P(ModuleLists, Parse) {
    EXPECT_EQ(parseModuleList(GetParam().text), GetParam().addresses);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ModuleLists,
    ::testing::Values(ListCase{"1", std::vector{1}}, ListCase{"1,2,3", std::vector{1, 2, 3}},
                      ListCase{"1-3,7", std::vector{1, 2, 3, 7}},
                      ListCase{"7,2-3,2", std::vector{2, 3, 7}}, ListCase{"247", std::vector{247}},
                      ListCase{"0", std::nullopt}, ListCase{"248", std::nullopt},
                      ListCase{"3-1", std::nullopt}, ListCase{"1,,2", std::nullopt},
                      ListCase{"", std::nullopt}, ListCase{"1-", std::nullopt},
                      ListCase{"x", std::nullopt}));

ParsedOptions parse(std::vector<std::string_view> args) {
    return parseOptions(args);
}

TEST(Options, ReadEveryOption) {
    const auto parsed = parse(
        {"--tcp",   "5020",   "--pty=/tmp/bus", "--modules", "1-3",           "--deterministic",
         "--state", "s.txt",  "--seed",         "9",         "--mute",        "2",
         "--delay", "15",     "--baud",         "9600",      "--fault",       "short:3@0.5",
         "--fault", "silent", "--exception",    "30",        "--close-after", "4",
         "--trace"});
    ASSERT_EQ(parsed.outcome, ParsedOptions::Outcome::Run) << parsed.error;
    const Options& o = parsed.options;
    ASSERT_TRUE(o.tcp);
    EXPECT_EQ(o.tcp->host, "127.0.0.1");
    EXPECT_EQ(o.tcp->port, 5020);
    EXPECT_EQ(o.ptyLink, "/tmp/bus");
    EXPECT_EQ(o.bus.addresses, (std::vector{1, 2, 3}));
    EXPECT_TRUE(o.bus.deterministic);
    EXPECT_EQ(o.stateFile, "s.txt");
    EXPECT_EQ(o.seed, 9u);
    EXPECT_EQ(o.bus.muted, std::vector{2});
    EXPECT_EQ(o.session.pacing.delay, std::chrono::milliseconds(15));
    EXPECT_EQ(o.session.pacing.baud, 9600);
    ASSERT_EQ(o.bus.faults.size(), 2u);
    EXPECT_EQ(o.bus.faults[0].address, 3);
    EXPECT_EQ(o.bus.exceptionFunctions, std::vector{30});
    EXPECT_EQ(o.session.closeAfterAnswers, 4);
    EXPECT_TRUE(o.trace);

    const auto host = parse({"--tcp", "0.0.0.0:0"});
    ASSERT_EQ(host.outcome, ParsedOptions::Outcome::Run);
    EXPECT_EQ(host.options.tcp->host, "0.0.0.0");
    EXPECT_EQ(parse({"--help"}).outcome, ParsedOptions::Outcome::Help);
}

TEST(Options, RefuseMistakes) {
    const std::vector<std::vector<std::string_view>> mistakes{
        {},                                    // no front end
        {"--tcp", "0", "--bogus"},             // unknown option
        {"--tcp"},                             // missing value
        {"--tcp", "70000"},                    // port out of range
        {"--tcp", ":80"},                      // empty host
        {"--tcp", "0", "--mute", "2"},         // not on the bus
        {"--tcp", "0", "--fault", "short:4"},  // not on the bus
        {"--tcp", "0", "--baud", "0"},
        {"--tcp", "0", "--delay", "-1"},
        {"--tcp", "0", "--close-after", "0"},
        {"--tcp", "0", "--seed", "-3"},
        {"--tcp", "0", "--exception", "128"},
        {"--tcp", "0", "--trace=1"},
    };
    for (const auto& args : mistakes) {
        const auto parsed = parse(args);
        EXPECT_EQ(parsed.outcome, ParsedOptions::Outcome::Error)
            << (args.empty() ? "" : args.back());
        EXPECT_FALSE(parsed.error.empty());
    }
}

// --- console ----------------------------------------------------------------

class Console : public ::testing::Test {
  protected:
    static BusSettings settings() {
        BusSettings s;
        s.addresses = {1, 4};
        s.deterministic = true;
        return s;
    }
    std::string run(std::string_view line) { return runConsoleCommand(line, bus).acknowledgement; }
    NoRecordMemory none;
    Bus bus{settings(), none, Start};
};

TEST_F(Console, SetsRegistersAndAnswersOk) {
    EXPECT_EQ(run("set-input 4 3 100"), "ok");
    EXPECT_EQ(run("set-holding 1 16 0x3"), "ok");
    EXPECT_EQ(run("  set-config 4 239 -2 "), "ok");
    EXPECT_EQ(bus.module(4)->input(3), 100);
    EXPECT_EQ(bus.module(1)->holding(0), 11900);  // output word applied
    EXPECT_EQ(bus.module(4)->config(239), 0xFFFE);
    EXPECT_TRUE(bus.takeConfigChanged());
}

TEST_F(Console, RefusesMalformedLinesWithoutEffect) {
    for (const char* line :
         {"set-input 2 0 1", "set-input 1 20 1", "set-holding 1 19 1", "set-config 1 240 1",
          "set-config 1 0 65536", "set-config 1 0 -32769", "set-input 1 0", "set-input 1 0 1 2",
          "set-input 1 0 12x", "mute 3", "unmute x", "fault nope", "fault short:9", "drop now",
          "bogus", "SET-INPUT 1 0 1"}) {
        EXPECT_EQ(run(line).rfind("error ", 0), 0u) << line;
    }
    EXPECT_EQ(bus.module(1)->input(0), 2940);
    EXPECT_EQ(bus.module(1)->config(0), 1);
    EXPECT_FALSE(bus.takeConfigChanged());
}

TEST_F(Console, ControlsFaultsMutingAndTheConnection) {
    const std::string request = ":010300100001EB";
    EXPECT_EQ(run("mute 1"), "ok");
    EXPECT_EQ(bus.takeLine(request, Start).text, "");
    EXPECT_EQ(run("unmute 1"), "ok");
    EXPECT_EQ(run("fault silent:1"), "ok");
    EXPECT_EQ(bus.takeLine(request, Start).text, "");
    EXPECT_EQ(run("clear-faults"), "ok");
    EXPECT_NE(bus.takeLine(request, Start).text, "");

    const auto drop = runConsoleCommand("drop", bus);
    EXPECT_TRUE(drop.drop);
    EXPECT_FALSE(drop.quit);
    const auto quit = runConsoleCommand("quit", bus);
    EXPECT_EQ(quit.acknowledgement, "ok");
    EXPECT_TRUE(quit.quit);
}

// --- state file ------------------------------------------------------------

ConfigMemory memoryWith(std::uint16_t first, std::uint16_t last) {
    ConfigMemory memory{};
    memory.front() = first;
    memory.back() = last;
    return memory;
}

TEST(StateFile, RoundTripsThroughTheFile) {
    dkq::test::ScratchDir dir;
    const ConfigState state{{1, memoryWith(0, 65535)}, {247, memoryWith(7, 8)}};
    std::string error;
    ASSERT_TRUE(writeConfigStateFile(dir.file("state.txt"), state, error)) << error;
    ConfigState read;
    ASSERT_TRUE(readConfigStateFile(dir.file("state.txt"), read, error)) << error;
    EXPECT_EQ(read, state);
    EXPECT_FALSE(std::filesystem::exists(dir.file("state.txt.tmp")));
}

TEST(StateFile, MissingFileIsEmptyAndMalformedOneIsRefused) {
    dkq::test::ScratchDir dir;
    ConfigState state{{1, {}}};
    std::string error;
    EXPECT_TRUE(readConfigStateFile(dir.file("none.txt"), state, error));
    EXPECT_TRUE(state.empty());

    const std::string file = formatConfigState({{2, memoryWith(1, 2)}});
    const std::string line = file.substr(file.find("config 2 "));
    EXPECT_TRUE(parseConfigState("# comment\n\r\n" + line));
    const std::vector<std::string> malformed{
        "config 2 1 2 3\n",                           // too few values
        line.substr(0, line.size() - 1) + " 4\n",     // too many
        "config 0" + line.substr(8),                  // address 0
        line.substr(0, line.size() - 2) + "65536\n",  // value out of range
        "registers 2\n",                              // unknown keyword
    };
    for (const auto& text : malformed) EXPECT_FALSE(parseConfigState(text)) << text;

    std::ofstream(dir.file("bad.txt")) << malformed[0];
    EXPECT_FALSE(readConfigStateFile(dir.file("bad.txt"), state, error));
    EXPECT_NE(error.find("bad.txt"), std::string::npos);
}

TEST(StateFile, LoadsIntoModulesOnTheBusOnly) {
    NoRecordMemory none;
    BusSettings settings;
    settings.addresses = {3};
    Bus bus(settings, none, Start);
    loadConfigState(bus, {{3, memoryWith(5, 6)}, {4, memoryWith(9, 9)}});
    EXPECT_EQ(bus.module(3)->config(0), 5);
    EXPECT_EQ(bus.module(3)->config(239), 6);
    EXPECT_EQ(configStateOf(bus).size(), 1u);
}

}  // namespace
}  // namespace dkq::sim::test
