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

class ConfigTransfer : public ::testing::Test {
  protected:
    void start(std::vector<std::string> extra) {
        sim.reset();
        extra.insert(extra.end(),
                     {"--deterministic", "--trace", "--modules", "1,2", "--tcp", "127.0.0.1:0"});
        sim = std::make_unique<test::SimProcess>(extra);
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
    // "rx :AAFFSSSSCCCC..." trace lines as "function start count" lines.
    std::vector<std::string> requests() {
        std::vector<std::string> list;
        for (const auto& line : sim->takeLines("rx :"))
            list.push_back(std::to_string(std::stoi(line.substr(6, 2), nullptr, 16)) + " " +
                           std::to_string(std::stoi(line.substr(8, 4), nullptr, 16)) + " " +
                           std::to_string(std::stoi(line.substr(12, 4), nullptr, 16)));
        return list;
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

TEST_F(ConfigTransfer, ReadsSixteensWritesFourThenEightsAndBroadcasts) {
    start({});
    ConfigImage image{};
    const TransferResult read = ReadConfigFromModule(link, 2, image, progress);
    EXPECT_EQ(readTransferMessage(read), "Konfiguracja odczytana z modułu.");
    std::vector<std::string> expected;
    std::vector<int> steps{-15, 0};
    for (int i = 0; i < 14; ++i) {
        expected.push_back("30 " + std::to_string(16 * i) + " 16");
        steps.push_back(i + 2);
    }
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(progress.steps, steps);

    for (int n = 0; n < 512; ++n) image[size_t(n)] = 1000 + n;
    image[56] = 40000;
    image[57] = -1;
    image[58] = 65535;
    progress.steps.clear();
    EXPECT_EQ(writeTransferMessage(WriteConfigToModule(link, 1, image, progress)),
              "Konfiguracja zapisana do modułu.");
    expected = {"31 4 4"};
    steps = {-31, 0, 1};
    for (int i = 1; i < 30; ++i) {
        expected.push_back("31 " + std::to_string(8 * i) + " 8");
        steps.push_back(i + 2);
    }
    EXPECT_EQ(requests(), expected);
    EXPECT_EQ(progress.steps, steps);
    const auto memory = moduleMemory(1);
    EXPECT_EQ((std::vector{memory[0], memory[2], memory[4], memory[56], memory[57], memory[58],
                           memory[239]}),
              (std::vector{1, 0x5678, 1004, -25536, -1, -1, 1239}))
        << "registers 0..3 never written; the low 16 bits";
    EXPECT_EQ(moduleMemory(2)[4], 0) << "the other module is untouched";

    image.fill(300);
    EXPECT_TRUE(WriteConfigToModule(link, 0, image, progress).ok());
    EXPECT_EQ(requests().size(), 30u);
    EXPECT_EQ(moduleMemory(1)[239] + moduleMemory(2)[4], 600) << "broadcast reaches both";
    EXPECT_EQ(readTransferMessage(ReadConfigFromModule(link, 0, image, progress)),
              "Błąd przy odczycie bloku 0 !");
    EXPECT_EQ(requests().size(), 4u);
    EXPECT_EQ(image[0], 300);
}

TEST_F(ConfigTransfer, FailingBlockStopsWithoutRollbackAfterFourTries) {
    start({"--close-after", "5"});
    ConfigImage image{};
    image.fill(-7);
    const TransferResult read = ReadConfigFromModule(link, 1, image, progress);
    EXPECT_EQ(readTransferMessage(read), "Błąd przy odczycie bloku 5 !");
    EXPECT_EQ((std::pair{image[79], image[80]}), (std::pair{0, -7}));
    EXPECT_EQ(progress.steps.back(), 6) << "the bar stays where it stopped";

    start({"--close-after", "7"});
    image.fill(5);
    const TransferResult write = WriteConfigToModule(link, 1, image, progress);
    EXPECT_EQ(writeTransferMessage(write), "Błąd przy zapisie bloku 7 !");
    EXPECT_EQ(write.code, read.code);
    const auto memory = moduleMemory(1);
    EXPECT_EQ((std::pair{memory[55], memory[56]}), (std::pair{5, 0}));

    start({"--mute", "1"});
    EXPECT_EQ(ReadConfigFromModule(link, 1, image, progress).code, tx::NoAnswer);
    EXPECT_EQ(requests().size(), 4u);
    EXPECT_EQ(writeTransferMessage(WriteConfigToModule(link, 1, image, progress)),
              "Błąd przy zapisie blokuUU 0 !");
    EXPECT_EQ(requests().size(), 4u);
}

}  // namespace
}  // namespace dkq
