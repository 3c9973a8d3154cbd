// Downloads from the simulated record memory into CSV files, compared row by
// row with what the simulator holds.
#include <gtest/gtest.h>

#include <filesystem>

#include "logger/format_text.h"
#include "logger/logger_messages.h"
#include "tests/logger/logger_rig.h"

namespace dkq::test {
namespace {

using namespace dkq::logger;

std::string report(long long records, int retransmissions, int invalid) {
    return formatText(text::Finished, records, 0LL, retransmissions, invalid);
}

DownloadOptions asTemperatures(bool writeInvalid = false) {
    DownloadOptions options;
    options.readAsTemperatures = true;
    options.writeInvalid = writeInvalid;
    return options;
}

// A download from dkqsim holding kItems and the given records.
class SimDownload {
  public:
    explicit SimDownload(Lines simOptions, Transport transport = Transport::Tcp)
        : rig(transport, [&] {
              simOptions.insert(simOptions.begin(), kItems.begin(), kItems.end());
              return simOptions;
          }()) {}

    // Connects if need be and downloads into `file`; the step that ended it.
    DownloadStep run(DownloadOptions options = asTemperatures(),
                     const std::string& file = "dane.csv") {
        if (!rig.link.IsOpen()) {
            EXPECT_TRUE(rig.connect().connected());
        }
        rig.prompter.saveAs = file;
        EXPECT_EQ(download.start(options), DownloadStart::Started);
        return finishDownload(download);
    }
    // The rows of a file, without its header.
    Lines rows(const std::string& file = "dane.csv") {
        Lines lines = csvLines(rig.dir.file(file));
        return lines.empty() ? lines : Lines(lines.begin() + 1, lines.end());
    }
    std::string lastMessage() const {
        return rig.prompter.messages.empty() ? "" : rig.prompter.messages.back().text;
    }

    LineTable table;
    LoggerRig rig;
    RecordDownload download{rig.session, table};
};

class CleanDownload : public ::testing::TestWithParam<Transport> {};

TEST_P(CleanDownload, EveryRecordArrivesAsTheSimulatorHoldsIt) {
    const bool tcp = GetParam() == Transport::Tcp;
    SimDownload d(
        tcp ? Lines{"--rec-count", "100"} : Lines{"--rec-count", "100", "--baud", "115200"},
        GetParam());
    // Connecting wakes the memory with two lines, over TCP as text commands
    // with pauses around them, and reads the status.
    ASSERT_TRUE(d.rig.connect().connected());
    EXPECT_EQ(d.rig.sim->takeLines("rx :002100000000DF").size(), 2u);
    EXPECT_EQ(d.rig.clock.slept, tcp ? 400 : 0);
    EXPECT_EQ(d.rig.receivedCommands(), Lines{"*RD_0,0"});

    ASSERT_EQ(d.run(), DownloadStep::Finished);
    const Lines lines = csvLines(d.rig.dir.file("dane.csv"));
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), expectedRows(1, 100));
    EXPECT_EQ(lines[1],
              "1;2024-03-01  0:00:00;-173,1;-73,0;17001;21,001;33,001;34,001;35001%;"
              "36001;37001;3726,9;1");
    // Windows-1250 with CR LF.
    EXPECT_NE(readFileBytes(d.rig.dir.file("dane.csv")).find(" Poprawno\x9C\xE6\r\n1;"),
              std::string::npos);
    EXPECT_EQ(d.rig.prompter.messages, (Messages{{report(100, 0, 0), MessageIcon::Information}}));
    EXPECT_EQ(d.download.recordsDone(), 100);

    // The status once more, then whole batches: 15 records of 32 bytes over
    // TCP, 64 on the serial line; the last batch reaches past record 100.
    Lines expected{"*RD_0,0"};
    for (int first = 1; first <= 100; first += tcp ? 15 : 64)
        expected.push_back(formatText("*RD_%d,%d", first, tcp ? 15 : 64));
    EXPECT_EQ(d.rig.receivedCommands(), expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, CleanDownload, ::testing::Values(Transport::Tcp, Transport::Pty));

// A damaged record is fetched alone again: a bad CRC once, a wrong letter up
// to four times. An invalid record is counted, and written only when asked.
TEST(Download, DamagedRecordsAreFetchedAgain) {
    // Option, its records, invalid ones written, re-reads, invalid ones, how
    // record 5 is written (none: not at all).
    const std::tuple<const char*, const char*, bool, int, int, std::optional<bool>> cases[] = {
        {"--rec-bad-crc", "5:1", false, 1, 0, true},
        {"--rec-bad-crc", "5:2", false, 1, 1, std::nullopt},
        {"--rec-bad-crc", "5", false, 1, 1, std::nullopt},
        {"--rec-bad-crc", "5", true, 1, 1, false},
        {"--rec-bad-letter", "5:2", false, 2, 0, true},
        {"--rec-bad-letter", "5:4", false, 4, 0, true},
    };
    for (const auto& [option, records, writeInvalid, rereads, invalid, written] : cases) {
        SCOPED_TRACE(std::string(option) + " " + records);
        SimDownload d({"--rec-count", "20", option, records});
        ASSERT_EQ(d.run(asTemperatures(writeInvalid)), DownloadStep::Finished);
        Lines expected = expectedRows(1, 20);
        if (written)
            expected[4] = expectedRow(5, *written);
        else
            expected.erase(expected.begin() + 4);
        EXPECT_EQ(d.rows(), expected);
        EXPECT_EQ(d.lastMessage(), report(20, rereads, invalid));
        const Lines commands = d.rig.receivedCommands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "*RD_5,1"), rereads);
    }
}

TEST(Download, AnUnrecognisableRecordEndsItWithTheRowsBeforeItSaved) {
    SimDownload d({"--rec-count", "100", "--rec-bad-letter", "20"});
    Lines rowsWhileShown;
    d.rig.prompter.onMessage = [&] { rowsWhileShown = d.rows(); };
    EXPECT_EQ(d.run(), DownloadStep::UnknownFormat);
    EXPECT_EQ(rowsWhileShown, expectedRows(1, 19));  // complete on disk while shown
    EXPECT_EQ(d.rig.prompter.messages, (Messages{{text::RecordUnknownFormat, MessageIcon::Error}}));
    EXPECT_FALSE(d.rig.link.IsOpen());
    const Lines commands = d.rig.receivedCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "*RD_20,1"), 4);
    EXPECT_EQ(Lines(commands.end() - 2, commands.end()), (Lines{"*EOT!", "*EOT!"}));
}

// A zero-dated record with a correct CRC is valid but empty; an erased one
// fails its CRC and is empty: neither counts as invalid, and neither is a
// reason to stop as if older records began.
TEST(Download, EmptyRecordsAreSkippedWithoutCountingAsInvalid) {
    SimDownload d({"--rec-count", "10", "--rec-empty", "3", "--rec-erased", "4"});
    ASSERT_EQ(d.run(), DownloadStep::Finished);
    Lines expected = expectedRows(1, 10);
    expected.erase(expected.begin() + 2, expected.begin() + 4);
    EXPECT_EQ(d.rows(), expected);
    EXPECT_EQ(d.lastMessage(), report(10, 1, 0));

    // Keeping invalid records writes the valid empty one only.
    ASSERT_EQ(d.run(asTemperatures(true)), DownloadStep::Finished);
    const Lines written = d.rows();
    ASSERT_EQ(written.size(), 9u);
    EXPECT_TRUE(written[2].starts_with("3;2016-00-00  0:00:00;")) << written[2];
    EXPECT_TRUE(written[2].ends_with(";1"));
    EXPECT_EQ(written[3], expectedRow(5));
}

// Slots 1..30 hold records 101..130 (days 5 and 6); slot 31 holds record 31
// of day 2.
TEST(Download, ACyclicMemoryStopsWhereTheDatesGoBackUnlessInvalidRecordsAreKept) {
    SimDownload d({"--rec-count", "100", "--rec-wrap", "30", "--rec-period", "3600"});
    ASSERT_EQ(d.run(), DownloadStep::Finished);
    Lines written = d.rows();
    ASSERT_EQ(written.size(), 30u);
    EXPECT_TRUE(written.front().starts_with("101;2024-03-05  4:00:00;"));
    EXPECT_TRUE(written.back().starts_with("130;2024-03-06  9:00:00;"));
    EXPECT_EQ(d.lastMessage(), report(100, 0, 0) + text::OlderRecordsSkipped);
    EXPECT_EQ(d.download.recordsDone(), 100);

    ASSERT_EQ(d.run(asTemperatures(true)), DownloadStep::Finished);
    written = d.rows();
    ASSERT_EQ(written.size(), 100u);
    EXPECT_TRUE(written[30].starts_with("31;2024-03-02  6:00:00;"));
    EXPECT_EQ(d.lastMessage(), report(100, 0, 0));
}

TEST(Download, SplitFilesGoOnInPartsStartingWithHeaderLineOne) {
    SimDownload d({"--rec-count", "100", "--rec-items", "1,2"});
    d.table.loaded = true;
    d.table.namesCarryUnits = true;
    d.table.entries[0] = {kind::Volts, 0, 0, "Zasilanie ", "[V]"};
    d.table.entries[1] = {kind::Raw, 0, 0, "Poziom", ""};
    DownloadOptions options;
    options.rowsPerPart = 40;
    ASSERT_EQ(d.run(options, "dane"), DownloadStep::Finished);
    const std::string header = "Lp;Czas RTC;Zasilanie   ;Poziom  ; Poprawność";
    const Lines first = csvLines("dane.csv"), second = csvLines("dane_1.csv"),
                third = csvLines("dane_2.csv");
    ASSERT_EQ(first.size(), 42u);
    EXPECT_EQ(Lines(first.begin(), first.begin() + 3),
              (Lines{header, " ; ;[V] ; ; ", "1;2024-03-01  0:00:00;1,001;2001;1"}));
    EXPECT_TRUE(first[41].starts_with("40;"));
    ASSERT_EQ(second.size(), 41u);
    EXPECT_EQ(second[0], header);
    EXPECT_TRUE(second[1].starts_with("41;"));
    ASSERT_EQ(third.size(), 21u);
    EXPECT_TRUE(third[20].starts_with("100;"));
    EXPECT_FALSE(std::filesystem::exists("dane_3.csv"));

    // Not split, and the report gives the rate when time passed.
    options.splitFiles = false;
    d.rig.clock.secondsPerRead = 2;
    ASSERT_EQ(d.run(options, "cale.csv"), DownloadStep::Finished);
    EXPECT_EQ(csvLines("cale.csv").size(), 102u);
    EXPECT_FALSE(std::filesystem::exists("cale_1.csv"));
    EXPECT_EQ(d.lastMessage(),
              "Transfer zakończony.\nPrzesłano 100 rekordów w czasie 2 s (50.0 rek/s)\nLiczba "
              "powtórzeń transmisji: 0\nLiczba niepoprawnych rekordów: 0");
}

TEST(Download, StartRefusesWithoutLineFileOrRecordsAndAFailedWriteEndsIt) {
    SimDownload d({"--rec-count", "100"});
    EXPECT_EQ(d.download.start({}), DownloadStart::NotConnected);
    ASSERT_TRUE(d.rig.connect().connected());
    EXPECT_EQ(d.download.start({}), DownloadStart::Cancelled);
    const std::string unreachable = d.rig.dir.file("no/such/folder/dane.csv");
    d.rig.prompter.saveAs = unreachable;
    EXPECT_EQ(d.download.start({}), DownloadStart::FileError);
    // The name chosen last is offered again.
    d.rig.prompter.saveAs.reset();
    EXPECT_EQ(d.download.start({}), DownloadStart::Cancelled);
    EXPECT_EQ(d.rig.prompter.offeredName, unreachable);
    std::filesystem::create_symlink("/dev/full", "pelny.csv");
    EXPECT_EQ(d.run({}, "pelny.csv"), DownloadStep::FileError);
    EXPECT_TRUE(d.rig.link.IsOpen());
    EXPECT_EQ(d.rig.session.ClearMemory(), CommandOutcome::Confirmed);
    EXPECT_EQ(d.download.start({}), DownloadStart::NoRecords);
    EXPECT_EQ(d.rig.prompter.messages, (Messages{{text::NotConnected, MessageIcon::Exclamation},
                                                 {text::FileOpenFailed, MessageIcon::Error},
                                                 {text::FileWriteFailed, MessageIcon::Error},
                                                 {text::Cleared, MessageIcon::Information},
                                                 {text::NoRecords, MessageIcon::Exclamation}}));
}

// Record lengths the frames cannot carry, at connecting or in the status
// the start refreshes, start nothing.
TEST(DownloadOnScriptedPeer, AnUnusableRecordLengthStartsNothing) {
    for (const auto& statuses :
         {Lines{statusBytes(8, 100)}, Lines{statusBytes(30, 100), statusBytes(120, 100)}}) {
        std::vector<ScriptedReply> replies;
        for (const auto& status : statuses) replies.push_back(ScriptedReply::text(status));
        ScriptedRig rig(replies);
        ASSERT_TRUE(rig.connect().connected());
        LineTable table;
        RecordDownload download(rig.session, table);
        rig.prompter.saveAs = "dane.csv";
        EXPECT_EQ(download.start({}), DownloadStart::UnusableStatus);
        const int length = statuses.size() == 1 ? 8 : 120;
        EXPECT_EQ(rig.prompter.messages,
                  (Messages{{formatText(text::UnusableRecordLength, length), MessageIcon::Error}}));
        EXPECT_FALSE(std::filesystem::exists("dane.csv"));
    }
}

TEST(DownloadOnScriptedPeer, ABatchThatNeverArrivesEndsItAfterFiveTries) {
    ScriptedRig rig(
        {ScriptedReply::text(statusBytes(30, 100)), ScriptedReply::text(statusBytes(30, 100))});
    ASSERT_TRUE(rig.connect().connected());
    LineTable table;
    RecordDownload download(rig.session, table);
    rig.prompter.saveAs = "dane.csv";
    ASSERT_EQ(download.start({}), DownloadStart::Started);
    EXPECT_EQ(finishDownload(download), DownloadStep::NoData);
    EXPECT_EQ(rig.prompter.messages.back().text, text::NoData);
    EXPECT_EQ(csvLines("dane.csv").size(), 1u);
    EXPECT_FALSE(rig.link.IsOpen());
    const Lines requests = rig.requestsUpTo("*EOT!", 2);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "*RD_1,15"), 5);
    EXPECT_EQ(requests.back(), "*EOT!");
}

}  // namespace
}  // namespace dkq::test
