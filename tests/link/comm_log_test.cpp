// The communication log: line format, time origin, silence when off.
#include <gtest/gtest.h>

#include <filesystem>

#include "link/comm_log.h"
#include "link/log_file.h"
#include "link/module_link.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

TEST(CommLog, LineFormatMatchesTheTraceFileLayout) {
    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 9;
    t.tm_min = 7;
    t.tm_sec = 2;
    EXPECT_EQ(formatCommLogLine(t, 1.2341, "rx_sum OK, 12 ms (17 B)"),
              "2024-03-05 9:07:02 (  1.234) >\trx_sum OK, 12 ms (17 B)\r\n");
    t.tm_hour = 23;
    EXPECT_EQ(formatCommLogLine(t, 1234.5678, "a\nb"),
              "2024-03-05 23:07:02 (1234.568) >\ta\r\nb\r\n");
}

TEST(CommLog, WrittenWhenOnFromTheOriginSetByTheFirstCallRestartedByAnEmptyTextAndRotated) {
    test::ScratchDir dir;
    resetCommLogOrigin();
    ModuleLink link;
    link.CommLog("");
    link.CommLog("close_com");
    link.close_com();
    EXPECT_FALSE(std::filesystem::exists(CommLogFileName));
    resetCommLogOrigin();
    link.LogEnabled = 1;
    link.CommLog("not written: sets the origin");
    EXPECT_FALSE(std::filesystem::exists(CommLogFileName));
    link.CommLog("first");
    link.CommLog("");
    link.CommLog("rcv: połączenie zostało zerwane");

    const std::string bytes = test::readFileBytes(CommLogFileName);
    EXPECT_EQ(bytes.find("not written"), std::string::npos);
    EXPECT_NE(bytes.find("(  0.000) >\tfirst\r\n"), std::string::npos);
    // Polish letters are written in Windows-1250: 'ł' is 0xB3, 'ą' 0xB9.
    EXPECT_NE(bytes.find("(  0.000) >\trcv: po\xB3\xB9"
                         "czenie zosta\xB3o zerwane\r\n"),
              std::string::npos);
    // A log that the next line would take past its bound starts afresh.
    std::filesystem::resize_file(CommLogFileName, LogRotationBytes - 20);
    link.CommLog("past the bound");
    EXPECT_EQ(std::filesystem::file_size("dkq_comm.log.1"), LogRotationBytes - 20);
}

}  // namespace
}  // namespace dkq
