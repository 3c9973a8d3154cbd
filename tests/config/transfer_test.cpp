// The block transfers against the simulated bus: block patterns, tries,
// a failing block in the middle, broadcast.
#include <gtest/gtest.h>

#include "config/config_transfer.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

struct RecordedProgress : TransferProgress {
    void setRange(int maximum) override { steps.push_back(-maximum); }
    void setPosition(int position) override { steps.push_back(position); }
    std::vector<int> steps;  // ranges as negative numbers
};

struct Request {
    int address;
    int function;
    int start;
    int count;
};

// "rx :AAFFSSSSCCCC..." trace lines as requests.
std::vector<Request> requests(test::SimProcess& sim) {
    std::vector<Request> list;
    for (const auto& line : sim.takeLines("rx :")) {
        const auto hex = [&](size_t at, size_t n) {
            return std::stoi(line.substr(4 + at, n), nullptr, 16);
        };
        list.push_back({hex(0, 2), hex(2, 2), hex(4, 4), hex(8, 4)});
    }
    return list;
}

class ConfigTransfer : public ::testing::Test {
  protected:
    void start(std::vector<std::string> extra) {
        link.close_com();
        sim.reset();
        std::vector<std::string> args{"--deterministic", "--trace",    "--modules", "1,2",
                                      "--tcp",           "127.0.0.1:0"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<test::SimProcess>(args);
        connect();
    }
    void connect() {
        link.close_com();
        link.UseTcp = 1;
        link.IpAddress = "127.0.0.1";
        link.TcpPort = sim->tcpPort();
        link.ConnectTimeoutMs = 2000;
        link.ReceiveTimeoutMs = 150;
        ASSERT_EQ(link.open_com(1, 9600), 0);
    }
    // The module's configuration memory as function 30 reads it.
    std::vector<std::int32_t> moduleMemory(int address) {
        connect();
        std::vector<std::int32_t> memory(240);
        for (int first = 0; first < 240; first += 120)
            EXPECT_EQ(link.ReadSignedRegisters(address, first, 120,
                                               std::span(memory).subspan(first, 120)),
                      0);
        sim->takeLines("rx");
        return memory;
    }

    ModuleLink link;
    std::unique_ptr<test::SimProcess> sim;
    RecordedProgress progress;
};

std::vector<int> expectedSteps(int range, std::vector<int> positions) {
    positions.insert(positions.begin(), {-range, 0});
    return positions;
}

TEST_F(ConfigTransfer, ReadsFourteenBlocksOfSixteenAndKeepsTheRest) {
    start({});
    ConfigImage image{};
    image.fill(77);
    const TransferResult result = ReadConfigFromModule(link, 2, image, progress);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(readTransferMessage(result), "Konfiguracja odczytana z modułu.");
    const auto sent = requests(*sim);
    ASSERT_EQ(sent.size(), 14u);
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(sent[size_t(i)].function, 30);
        EXPECT_EQ(sent[size_t(i)].start, 16 * i);
        EXPECT_EQ(sent[size_t(i)].count, 16);
    }
    EXPECT_EQ(progress.steps, expectedSteps(15, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(image[0], 1);
    EXPECT_EQ(image[3], 0x9A02 - 0x10000) << "sign-extended";
    EXPECT_EQ(image[6], 0);
    EXPECT_EQ(image[223], 0);
    EXPECT_EQ(image[224], 77) << "registers 224..239 are never read";
    EXPECT_EQ(image[511], 77);
}

TEST_F(ConfigTransfer, WritesFourAtFourThenBlocksOfEight) {
    start({});
    ConfigImage image{};
    for (int n = 0; n < 512; ++n) image[size_t(n)] = 1000 + n;
    image[56] = 40000;
    image[57] = -1;
    image[58] = 65535;
    const TransferResult result = WriteConfigToModule(link, 1, image, progress);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(writeTransferMessage(result), "Konfiguracja zapisana do modułu.");
    const auto sent = requests(*sim);
    ASSERT_EQ(sent.size(), 30u);
    EXPECT_EQ(sent[0].start, 4);
    EXPECT_EQ(sent[0].count, 4);
    for (int i = 1; i < 30; ++i) {
        EXPECT_EQ(sent[size_t(i)].function, 31);
        EXPECT_EQ(sent[size_t(i)].start, 8 * i);
        EXPECT_EQ(sent[size_t(i)].count, 8);
    }
    std::vector<int> positions{1};
    for (int i = 1; i < 30; ++i) positions.push_back(i + 2);
    EXPECT_EQ(progress.steps, expectedSteps(31, positions));
    const auto memory = moduleMemory(1);
    EXPECT_EQ(memory[0], 1) << "registers 0..3 are never written";
    EXPECT_EQ(memory[2], 0x5678);
    EXPECT_EQ(memory[4], 1004);
    EXPECT_EQ(memory[56], -25536) << "the low 16 bits of 40000";
    EXPECT_EQ(memory[57], -1);
    EXPECT_EQ(memory[58], -1);
    EXPECT_EQ(memory[239], 1239);
    EXPECT_EQ(moduleMemory(2)[4], 0) << "the other module is untouched";
}

TEST_F(ConfigTransfer, FailingBlockInTheMiddleStopsWithoutRollback) {
    start({"--close-after", "5"});
    ConfigImage image{};
    image.fill(-7);
    const TransferResult read = ReadConfigFromModule(link, 1, image, progress);
    EXPECT_EQ(read.failedBlock, 5);
    EXPECT_NE(read.code, 0);
    EXPECT_EQ(readTransferMessage(read), "Błąd przy odczycie bloku 5 !");
    EXPECT_EQ(image[79], 0);
    EXPECT_EQ(image[80], -7);
    EXPECT_EQ(progress.steps.back(), 6) << "the bar stays where it stopped";

    start({"--close-after", "7"});
    ConfigImage ones{};
    ones.fill(5);
    const TransferResult write = WriteConfigToModule(link, 1, ones, progress);
    EXPECT_EQ(write.failedBlock, 7);
    EXPECT_EQ(write.code, read.code);
    EXPECT_EQ(writeTransferMessage(write), "Błąd przy zapisie bloku 7 !");
    const auto memory = moduleMemory(1);
    EXPECT_EQ(memory[55], 5);
    EXPECT_EQ(memory[56], 0);
}

TEST_F(ConfigTransfer, TriesEachBlockFourTimes) {
    start({"--mute", "1"});
    ConfigImage image{};
    const TransferResult read = ReadConfigFromModule(link, 1, image, progress);
    EXPECT_EQ(read.failedBlock, 0);
    EXPECT_EQ(read.code, tx::NoAnswer);
    EXPECT_EQ(requests(*sim).size(), 4u);
    const TransferResult write = WriteConfigToModule(link, 1, image, progress);
    EXPECT_EQ(writeTransferMessage(write), "Błąd przy zapisie blokuUU 0 !");
    EXPECT_EQ(requests(*sim).size(), 4u);
}

TEST_F(ConfigTransfer, BroadcastWritesEveryModuleAndCannotBeRead) {
    start({});
    ConfigImage image{};
    image.fill(300);
    EXPECT_TRUE(WriteConfigToModule(link, 0, image, progress).ok());
    EXPECT_EQ(requests(*sim).size(), 30u);
    EXPECT_EQ(moduleMemory(1)[239], 300);
    EXPECT_EQ(moduleMemory(2)[4], 300);
    const TransferResult read = ReadConfigFromModule(link, 0, image, progress);
    EXPECT_EQ(readTransferMessage(read), "Błąd przy odczycie bloku 0 !");
    EXPECT_EQ(requests(*sim).size(), 4u);
    EXPECT_EQ(image[0], 300);
}

}  // namespace
}  // namespace dkq
