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

class CleanDownload : public ::testing::TestWithParam<Transport> {};

TEST_P(CleanDownload, EveryRecordArrivesAsTheSimulatorHoldsIt) {
    const bool tcp = GetParam() == Transport::Tcp;
    LoggerRig d(tcp ? Lines{"--rec-count", "100"} : Lines{"--rec-count", "100", "--baud", "115200"},
                GetParam());
    // Connecting wakes the memory with two lines, over TCP as text commands
    // with pauses around them, and reads the status.
    ASSERT_TRUE(d.connect().connected());
    EXPECT_EQ(d.sim->takeLines("rx :002100000000DF").size(), 2u);
    EXPECT_EQ(d.clock.sleeps, tcp ? (std::vector<int>{100, 200, 100}) : std::vector<int>{});
    EXPECT_EQ(d.receivedCommands(), Lines{"*RD_0,0"});

    ASSERT_EQ(d.run(), DownloadStep::Finished);
    EXPECT_EQ(csvLines("dane.csv").at(0), kHeader);
    EXPECT_EQ(d.rows(), expectedRows(1, 100));
    EXPECT_EQ(d.rows().at(0),
              "1;2024-03-01  0:00:00;-173,1;-73,0;17001;21,001;33,001;34,001;35001%;"
              "36001;37001;3726,9;1");
    // Windows-1250 with CR LF.
    EXPECT_NE(readFileBytes("dane.csv").find(" Poprawno\x9C\xE6\r\n1;"), std::string::npos);
    EXPECT_EQ(d.prompter.messages, (Messages{{report(100, 0, 0), MessageIcon::Information}}));
    EXPECT_EQ(d.download.recordsDone(), 100);

    // The status once more, then whole batches: 15 records of 32 bytes over
    // TCP, 64 on the serial line; the last batch reaches past record 100.
    Lines expected{"*RD_0,0"};
    for (int first = 1; first <= 100; first += tcp ? 15 : 64)
        expected.push_back(formatText("*RD_%d,%d", first, tcp ? 15 : 64));
    EXPECT_EQ(d.receivedCommands(), expected);
}

INSTANTIATE_TEST_SUITE_P(Lines, CleanDownload, ::testing::Values(Transport::Tcp, Transport::Pty));

// A damaged record is fetched alone again: a bad CRC once, a wrong letter up
// to four times. An invalid record is counted, and written only when asked.
// A zero-dated record with a correct CRC is valid but empty; an erased one
// fails its CRC and is empty: neither counts as invalid, and neither is a
// reason to stop as if older records began. Damage counted in reads is gone
// by the second download.
TEST(Download, DamagedAndEmptyRecords) {
    LoggerRig d({"--rec-count", "20", "--rec-bad-crc", "3:1", "--rec-bad-crc", "5:2",
                 "--rec-bad-crc", "7", "--rec-bad-letter", "9:2", "--rec-bad-letter", "11:4",
                 "--rec-empty", "13", "--rec-erased", "14"});
    ASSERT_EQ(d.run(), DownloadStep::Finished);
    Lines expected = expectedRows(1, 20);
    for (int q : {14, 13, 7, 5}) expected.erase(expected.begin() + q - 1);
    EXPECT_EQ(d.rows(), expected);
    EXPECT_EQ(d.lastMessage(), report(20, 10, 2));
    Lines commands = d.receivedCommands();
    for (const auto& [q, rereads] : {std::pair{3, 1}, {5, 1}, {7, 1}, {9, 2}, {11, 4}, {14, 1}})
        EXPECT_EQ(std::count(commands.begin(), commands.end(), formatText("*RD_%d,1", q)), rereads)
            << q;

    ASSERT_EQ(d.run(asTemperatures(true)), DownloadStep::Finished);
    expected = expectedRows(1, 20);
    expected.erase(expected.begin() + 13);
    expected[6] = expectedRow(7, false);
    const Lines written = d.rows();
    ASSERT_EQ(written.size(), 19u);
    EXPECT_TRUE(written[12].starts_with("13;2016-00-00  0:00:00;")) << written[12];
    EXPECT_TRUE(written[12].ends_with(";1"));
    expected[12] = written[12];
    EXPECT_EQ(written, expected);
    EXPECT_EQ(d.lastMessage(), report(20, 2, 1));
}

TEST(Download, AnUnrecognisableRecordEndsItWithTheRowsBeforeItSaved) {
    LoggerRig d({"--rec-count", "100", "--rec-bad-letter", "20"});
    Lines rowsWhileShown;
    d.prompter.onMessage = [&] { rowsWhileShown = d.rows(); };
    EXPECT_EQ(d.run(), DownloadStep::UnknownFormat);
    EXPECT_EQ(rowsWhileShown, expectedRows(1, 19));  // complete on disk while shown
    EXPECT_EQ(d.prompter.messages, (Messages{{text::RecordUnknownFormat, MessageIcon::Error}}));
    EXPECT_FALSE(d.link.IsOpen());
    const Lines commands = d.receivedCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "*RD_20,1"), 4);
    EXPECT_EQ(Lines(commands.end() - 2, commands.end()), (Lines{"*EOT!", "*EOT!"}));
}

// Slots 1..30 hold records 101..130 (days 5 and 6); slot 31 holds record 31
// of day 2.
TEST(Download, ACyclicMemoryStopsWhereTheDatesGoBackUnlessInvalidRecordsAreKept) {
    LoggerRig d({"--rec-count", "100", "--rec-wrap", "30", "--rec-period", "3600"});
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

// The start refuses without a line, a file or records; a failed write ends
// the download; split files go on in parts starting with header line one.
TEST(Download, StartRefusalsFailedWritesAndSplitFiles) {
    LoggerRig d({"--rec-count", "100", "--rec-items", "1-5"});
    EXPECT_EQ(d.download.start({}), DownloadStart::NotConnected);
    ASSERT_TRUE(d.connect().connected());
    EXPECT_EQ(d.download.start({}), DownloadStart::Cancelled);
    const std::string unreachable = d.dir.file("no/such/folder/dane.csv");
    d.prompter.saveAs = unreachable;
    EXPECT_EQ(d.download.start({}), DownloadStart::FileError);
    // The name chosen last is offered again.
    d.prompter.saveAs.reset();
    EXPECT_EQ(d.download.start({}), DownloadStart::Cancelled);
    EXPECT_EQ(d.prompter.offeredName, unreachable);
    // A link planted at the name once the file is made is never written through.
    d.prompter.saveAs = "pelny.csv";
    ASSERT_EQ(d.download.start({}), DownloadStart::Started);
    std::filesystem::remove("pelny.csv");
    std::filesystem::create_symlink("/dev/full", "pelny.csv");
    EXPECT_EQ(finishDownload(d.download), DownloadStep::FileError);
    EXPECT_TRUE(d.link.IsOpen());
    EXPECT_EQ(d.prompter.messages, (Messages{{text::NotConnected, MessageIcon::Exclamation},
                                             {text::FileOpenFailed, MessageIcon::Error},
                                             {text::FileWriteFailed, MessageIcon::Error}}));

    d.table.loaded = true;
    d.table.namesCarryUnits = true;
    d.table.entries[0] = {kind::Volts, 0, 0, "Zasilanie ", "[V]"};
    d.table.entries[1] = {kind::Raw, 0, 0, "Poziom", ""};
    d.table.entries[2] = {kind::Kelvin, 0, 0, "Piec", ""};
    d.table.entries[3] = {kind::Celsius, 0, 0, "Woda", ""};
    d.table.entries[4] = {7, 0, 0, "Inne", ""};  // a kind of no unit
    DownloadOptions options;
    options.rowsPerPart = 40;
    ASSERT_EQ(d.run(options, "dane"), DownloadStep::Finished);
    const std::string header = "Lp;Czas RTC;Zasilanie   ;Poziom  ;Piec  ;Woda  ;Inne  ; Poprawność";
    const Lines first = csvLines("dane.csv"), second = csvLines("dane_1.csv"),
                third = csvLines("dane_2.csv");
    ASSERT_EQ(first.size() + second.size() + third.size(), 42u + 41 + 21);
    EXPECT_EQ(Lines(first.begin(), first.begin() + 3),
              (Lines{header, " ; ;[V] ; ; ; ; ; ",
                     "1;2024-03-01  0:00:00;1,001;2001;300,1;127,0;5001;1"}));
    EXPECT_TRUE(first[41].starts_with("40;") && second[1].starts_with("41;") &&
                third[20].starts_with("100;"));
    EXPECT_EQ(second[0], header);
    EXPECT_FALSE(std::filesystem::exists("dane_3.csv"));

    // Not split, and the report gives the rate when time passed.
    options.splitFiles = false;
    d.clock.secondsPerRead = 2;
    ASSERT_EQ(d.run(options, "cale.csv"), DownloadStep::Finished);
    EXPECT_EQ(csvLines("cale.csv").size(), 102u);
    EXPECT_FALSE(std::filesystem::exists("cale_1.csv"));
    EXPECT_EQ(d.lastMessage(),
              "Transfer zakończony.\nPrzesłano 100 rekordów w czasie 2 s (50.0 rek/s)\nLiczba "
              "powtórzeń transmisji: 0\nLiczba niepoprawnych rekordów: 0");

    EXPECT_EQ(d.session.ClearMemory(), CommandOutcome::Confirmed);
    EXPECT_EQ(d.download.start({}), DownloadStart::NoRecords);
    EXPECT_EQ(d.lastMessage(), text::NoRecords);
}

// Record lengths the frames cannot carry, at connecting or in the status
// the start refreshes, start nothing; a batch that never arrives ends the
// download after five tries.
TEST(DownloadOnScriptedPeer, UnusableStatusesAndABatchThatNeverArrives) {
    const std::tuple<Lines, DownloadStart, std::string> cases[] = {
        {{statusBytes(8, 100)},
         DownloadStart::UnusableStatus,
         formatText(text::UnusableRecordLength, 8)},
        {{statusBytes(30, 100), statusBytes(120, 100)},
         DownloadStart::UnusableStatus,
         formatText(text::UnusableRecordLength, 120)},
        {{statusBytes(30, 100), statusBytes(30, 100)}, DownloadStart::Started, text::NoData},
    };
    for (const auto& [statuses, start, message] : cases) {
        std::vector<ScriptedReply> replies;
        for (const auto& status : statuses) replies.push_back(ScriptedReply::text(status));
        ScriptedRig rig(replies);
        ASSERT_TRUE(rig.connect().connected());
        LineTable table;
        RecordDownload download(rig.session, table);
        rig.prompter.saveAs = "dane.csv";
        ASSERT_EQ(download.start({}), start);
        const bool started = start == DownloadStart::Started;
        if (started) {
            EXPECT_EQ(finishDownload(download), DownloadStep::NoData);
        }
        EXPECT_EQ(rig.prompter.messages, (Messages{{message, MessageIcon::Error}}));
        EXPECT_EQ(csvLines("dane.csv").size(), started ? 1u : 0u);
        if (!started) continue;
        EXPECT_FALSE(rig.link.IsOpen());
        const Lines requests = rig.peer.awaitRequests("*EOT!", 2);
        EXPECT_EQ(std::count(requests.begin(), requests.end(), "*RD_1,15"), 5);
        EXPECT_EQ(requests.back(), "*EOT!");
    }
}

}  // namespace
}  // namespace dkq::test
