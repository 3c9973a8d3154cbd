// Downloads from the simulated record memory into CSV files, compared with
// what the simulator holds: item k of record q is (1000 k + q) mod 65536,
// record q is dated 2024-03-01 00:00:00 plus (q - 1) periods.
#include <gtest/gtest.h>

#include <filesystem>

#include "logger/format_text.h"
#include "logger/logger_messages.h"
#include "tests/logger/logger_rig.h"
#include "tests/logger/sim_records.h"
#include "tests/support/scripted_peer.h"

namespace dkq::test {
namespace {

using namespace dkq::logger;

std::string report(long long records, int retransmissions, int invalid) {
    return formatText(text::Finished, records, 0LL, retransmissions, invalid);
}

std::vector<std::string> withSimOptions(std::vector<std::string> extra) {
    std::vector<std::string> options = kItems;
    options.insert(options.end(), extra.begin(), extra.end());
    return options;
}

class DownloadFixture {
  protected:
    DownloadFixture(Transport transport, std::vector<std::string> simOptions)
        : rig(transport, withSimOptions(std::move(simOptions))) {}

    // Connects and downloads into dane.csv; the step that ended it.
    DownloadStep downloadAll(DownloadOptions options = temperatures()) {
        EXPECT_TRUE(rig.connect().connected());
        rig.prompter.saveAs = "dane.csv";
        EXPECT_EQ(download.start(options), DownloadStart::Started);
        return finishDownload(download);
    }
    static DownloadOptions temperatures() {
        DownloadOptions options;
        options.readAsTemperatures = true;
        return options;
    }
    std::vector<std::string> rows(const std::string& file = "dane.csv") {
        auto lines = csvLines(rig.dir.file(file));
        EXPECT_FALSE(lines.empty());
        if (!lines.empty()) lines.erase(lines.begin());
        return lines;
    }
    std::string lastMessage() const {
        return rig.prompter.messages.empty() ? "" : rig.prompter.messages.back().text;
    }

    LineTable table;
    LoggerRig rig;
    RecordDownload download{rig.session, table};
};

class CleanDownload : public DownloadFixture, public ::testing::TestWithParam<Transport> {
  protected:
    CleanDownload()
        : DownloadFixture(GetParam(),
                          GetParam() == Transport::Pty
                              ? std::vector<std::string>{"--rec-count", "100", "--baud", "115200"}
                              : std::vector<std::string>{"--rec-count", "100"}) {}
};

TEST_P(CleanDownload, EveryRecordArrivesAsTheSimulatorHoldsIt) {
    ASSERT_EQ(downloadAll(), DownloadStep::Finished);
    const auto lines = csvLines(rig.dir.file("dane.csv"));
    ASSERT_EQ(lines.size(), 101u);
    EXPECT_EQ(lines[0], kHeader);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expectedRows(1, 100));
    EXPECT_EQ(lines[1],
              "1;2024-03-01  0:00:00;-173,1;-73,0;17001;21,001;33,001;34,001;35001%;"
              "36001;37001;3726,9;1");
    EXPECT_EQ(test::readFileBytes(rig.dir.file("dane.csv")).substr(0, 12), "Lp;Czas RTC;");
    EXPECT_EQ(rig.prompter.messages,
              (std::vector<ShownMessage>{{report(100, 0, 0), MessageIcon::Information}}));
    EXPECT_EQ(download.recordsDone(), 100);
    EXPECT_EQ(download.recordCount(), 100);
    EXPECT_FALSE(download.running());

    // Whole batches: 15 records of 32 bytes over TCP, 64 on the serial line;
    // the last batch reaches past record 100.
    const auto commands = rig.receivedCommands();
    const std::vector<std::string> batches(commands.begin() + 2, commands.end());
    if (GetParam() == Transport::Tcp) {
        std::vector<std::string> expected;
        for (int first = 1; first <= 100; first += 15)
            expected.push_back(formatText("*RD_%d,15", first));
        EXPECT_EQ(batches, expected);
    } else {
        EXPECT_EQ(batches, (std::vector<std::string>{"*RD_1,64", "*RD_65,64"}));
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, CleanDownload, ::testing::Values(Transport::Tcp, Transport::Pty));

struct DamageCase {
    const char* option;
    const char* records;
    bool writeInvalid;
    int retransmissions;
    int invalid;
    std::optional<bool> writtenAsValid;  // none: record 5 is not written
};

TEST(Download, DamagedRecordsAreFetchedAgain) {
    const DamageCase cases[] = {
        {"--rec-bad-crc", "5:1", false, 1, 0, true},
        {"--rec-bad-crc", "5:2", false, 1, 1, std::nullopt},
        {"--rec-bad-crc", "5", false, 1, 1, std::nullopt},
        {"--rec-bad-crc", "5", true, 1, 1, false},
        {"--rec-bad-letter", "5:2", false, 2, 0, true},
        {"--rec-bad-letter", "5:4", false, 4, 0, true},
    };
    for (const auto& c : cases) {
        struct Rig : DownloadFixture {
            explicit Rig(const DamageCase& c)
                : DownloadFixture(Transport::Tcp, {"--rec-count", "20", c.option, c.records}) {}
            using DownloadFixture::downloadAll;
            using DownloadFixture::rig;
            using DownloadFixture::rows;
            using DownloadFixture::temperatures;
        } fixture(c);
        const std::string what = std::string(c.option) + " " + c.records;
        DownloadOptions options = Rig::temperatures();
        options.writeInvalid = c.writeInvalid;
        ASSERT_EQ(fixture.downloadAll(options), DownloadStep::Finished) << what;
        std::vector<std::string> expected = expectedRows(1, 20);
        if (!c.writtenAsValid)
            expected.erase(expected.begin() + 4);
        else
            expected[4] = expectedRow(5, *c.writtenAsValid);
        EXPECT_EQ(fixture.rows(), expected) << what;
        EXPECT_EQ(fixture.rig.prompter.messages.back().text,
                  report(20, c.retransmissions, c.invalid))
            << what;
        const auto commands = fixture.rig.receivedCommands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "*RD_5,1"), c.retransmissions)
            << what;
    }
}

class FailingDownload : public DownloadFixture, public ::testing::Test {
  protected:
    FailingDownload()
        : DownloadFixture(Transport::Tcp, {"--rec-count", "100", "--rec-bad-letter", "20"}) {}
};

TEST_F(FailingDownload, AnUnrecognisableRecordEndsItWithTheRowsBeforeItSaved) {
    std::vector<std::string> rowsWhileShown;
    rig.prompter.onMessage = [&] { rowsWhileShown = rows(); };
    EXPECT_EQ(downloadAll(), DownloadStep::UnknownFormat);
    // The file was complete on disk while the message was shown.
    EXPECT_EQ(rowsWhileShown, expectedRows(1, 19));
    EXPECT_EQ(rig.prompter.messages,
              (std::vector<ShownMessage>{{text::RecordUnknownFormat, MessageIcon::Error}}));
    EXPECT_FALSE(rig.link.IsOpen());
    EXPECT_FALSE(download.running());
    const auto commands = rig.receivedCommands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "*RD_20,1"), 4);
    EXPECT_EQ(std::vector<std::string>(commands.end() - 2, commands.end()),
              (std::vector<std::string>{"*EOT!", "*EOT!"}));
}

class EmptyRecords : public DownloadFixture, public ::testing::Test {
  protected:
    EmptyRecords()
        : DownloadFixture(Transport::Tcp,
                          {"--rec-count", "10", "--rec-empty", "3", "--rec-erased", "4"}) {}
};

// A zero-dated record with a correct CRC is valid but empty; an erased one
// fails its CRC and is empty: neither counts as invalid. An empty record is
// no reason to stop as if older records began.
TEST_F(EmptyRecords, AreSkippedWithoutCountingAsInvalid) {
    ASSERT_EQ(downloadAll(), DownloadStep::Finished);
    std::vector<std::string> expected = expectedRows(1, 10);
    expected.erase(expected.begin() + 2, expected.begin() + 4);
    EXPECT_EQ(rows(), expected);
    EXPECT_EQ(lastMessage(), report(10, 1, 0));
}

TEST_F(EmptyRecords, OnlyTheValidOneIsWrittenWhenInvalidOnesAreKept) {
    DownloadOptions options = temperatures();
    options.writeInvalid = true;
    ASSERT_EQ(downloadAll(options), DownloadStep::Finished);
    const auto written = rows();
    ASSERT_EQ(written.size(), 9u);
    EXPECT_TRUE(written[2].starts_with("3;2016-00-00  0:00:00;")) << written[2];
    EXPECT_TRUE(written[2].ends_with(";1"));
    EXPECT_EQ(written[3], expectedRow(5));
}

class WrappedMemory : public DownloadFixture, public ::testing::Test {
  protected:
    // Slots 1..30 hold records 101..130 (days 5 and 6); slot 31 holds record
    // 31 of day 2.
    WrappedMemory()
        : DownloadFixture(Transport::Tcp, {"--rec-count", "100", "--rec-wrap", "30", "--rec-period",
                                           "3600", "--rec-items", "1"}) {}
};

TEST_F(WrappedMemory, StopsWhereTheDatesGoBack) {
    ASSERT_EQ(downloadAll(), DownloadStep::Finished);
    const auto written = rows();
    ASSERT_EQ(written.size(), 30u);
    EXPECT_TRUE(written.front().starts_with("101;2024-03-05  4:00:00;"));
    EXPECT_TRUE(written.back().starts_with("130;2024-03-06  9:00:00;"));
    EXPECT_EQ(lastMessage(), report(100, 0, 0) + "\nPominięto końcowe starsze rekordy.");
    EXPECT_EQ(download.recordsDone(), 100);
}

TEST_F(WrappedMemory, KeepsGoingWhenInvalidRecordsAreWritten) {
    DownloadOptions options = temperatures();
    options.writeInvalid = true;
    ASSERT_EQ(downloadAll(options), DownloadStep::Finished);
    const auto written = rows();
    ASSERT_EQ(written.size(), 100u);
    EXPECT_TRUE(written[30].starts_with("31;2024-03-02  6:00:00;"));
    EXPECT_EQ(lastMessage(), report(100, 0, 0));
}

class SplitFiles : public DownloadFixture, public ::testing::Test {
  protected:
    SplitFiles() : DownloadFixture(Transport::Tcp, {"--rec-count", "100", "--rec-items", "1,2"}) {
        table.loaded = true;
        table.namesCarryUnits = true;
        table.entries[0] = {kind::Volts, 0, 0, "Zasilanie ", "[V]"};
        table.entries[1] = {kind::Raw, 0, 0, "Poziom", ""};
    }
};

TEST_F(SplitFiles, PartsAfterTheGivenRowsStartWithHeaderLineOne) {
    DownloadOptions options;
    options.rowsPerPart = 40;
    rig.prompter.saveAs = "dane";
    ASSERT_TRUE(rig.connect().connected());
    ASSERT_EQ(download.start(options), DownloadStart::Started);
    ASSERT_EQ(finishDownload(download), DownloadStep::Finished);

    const std::string header = "Lp;Czas RTC;Zasilanie   ;Poziom  ; Poprawność";
    const auto first = csvLines(rig.dir.file("dane.csv"));
    ASSERT_EQ(first.size(), 42u);
    EXPECT_EQ(first[0], header);
    EXPECT_EQ(first[1], " ; ;[V] ; ; ");
    EXPECT_TRUE(first[2].starts_with("1;2024-03-01  0:00:00;1,001;2001;1"));
    EXPECT_TRUE(first[41].starts_with("40;"));
    const auto second = csvLines(rig.dir.file("dane_1.csv"));
    ASSERT_EQ(second.size(), 41u);
    EXPECT_EQ(second[0], header);
    EXPECT_TRUE(second[1].starts_with("41;"));
    const auto third = csvLines(rig.dir.file("dane_2.csv"));
    ASSERT_EQ(third.size(), 21u);
    EXPECT_TRUE(third[20].starts_with("100;"));
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("dane_3.csv")));
    EXPECT_EQ(download.fileName(), "dane");
}

TEST_F(SplitFiles, OneFileWhenSplittingIsOff) {
    DownloadOptions options;
    options.rowsPerPart = 40;
    options.splitFiles = false;
    rig.prompter.saveAs = "dane.csv";
    ASSERT_TRUE(rig.connect().connected());
    ASSERT_EQ(download.start(options), DownloadStart::Started);
    ASSERT_EQ(finishDownload(download), DownloadStep::Finished);
    EXPECT_EQ(csvLines(rig.dir.file("dane.csv")).size(), 102u);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("dane_1.csv")));
}

class SmallMemory : public DownloadFixture, public ::testing::Test {
  protected:
    SmallMemory() : DownloadFixture(Transport::Tcp, {"--rec-count", "100"}) {}
};

TEST_F(SmallMemory, ReportGivesTheRateWhenTimePassed) {
    rig.clock.secondsPerRead = 2;
    ASSERT_EQ(downloadAll(), DownloadStep::Finished);
    EXPECT_EQ(lastMessage(),
              "Transfer zakończony.\nPrzesłano 100 rekordów w czasie 2 s (50.0 rek/s)\nLiczba "
              "powtórzeń transmisji: 0\nLiczba niepoprawnych rekordów: 0");
}

TEST_F(SmallMemory, StartRefusesWithoutLineFileOrRecords) {
    EXPECT_EQ(download.start({}), DownloadStart::NotConnected);
    ASSERT_TRUE(rig.connect().connected());
    rig.prompter.saveAs.reset();
    EXPECT_EQ(download.start({}), DownloadStart::Cancelled);
    const std::string unreachable = rig.dir.file("no/such/folder/dane.csv");
    rig.prompter.saveAs = unreachable;
    EXPECT_EQ(download.start({}), DownloadStart::FileError);
    EXPECT_EQ(lastMessage(), text::FileOpenFailed);
    // The name chosen last is offered again.
    rig.prompter.saveAs.reset();
    EXPECT_EQ(download.start({}), DownloadStart::Cancelled);
    EXPECT_EQ(rig.prompter.offeredName, unreachable);

    EXPECT_EQ(rig.session.ClearMemory(), CommandOutcome::Confirmed);
    rig.prompter.messages.clear();
    EXPECT_EQ(download.start({}), DownloadStart::NoRecords);
    EXPECT_EQ(rig.prompter.messages,
              (std::vector<ShownMessage>{{text::NoRecords, MessageIcon::Exclamation}}));
}

TEST_F(SmallMemory, AFailedWriteIsReportedNotFinished) {
    std::filesystem::create_symlink("/dev/full", rig.dir.file("pelny.csv"));
    ASSERT_TRUE(rig.connect().connected());
    rig.prompter.saveAs = "pelny.csv";
    ASSERT_EQ(download.start({}), DownloadStart::Started);
    EXPECT_EQ(finishDownload(download), DownloadStep::FileError);
    EXPECT_EQ(lastMessage(), text::FileWriteFailed);
    EXPECT_TRUE(rig.link.IsOpen());
}

// --- statuses no simulated module gives -----------------------------------

std::string statusBytes(int recordLength, std::int64_t records) {
    StatusAnswer s;
    s.recordLength = recordLength;
    s.recordCount = records;
    const auto frame = encodeStatus(s);
    return std::string(frame.begin(), frame.end());
}

class DownloadOnScriptedPeer : public ::testing::Test {
  protected:
    void connectTo(ScriptedPeer& peer) {
        link.UseTcp = 1;
        link.IpAddress = "127.0.0.1";
        link.TcpPort = peer.port();
        link.ConnectTimeoutMs = 2000;
        link.ReceiveTimeoutMs = 100;
        ASSERT_TRUE(session.ConnectLogger(1, 9600).connected());
    }
    static std::vector<ScriptedReply> script(std::vector<ScriptedReply> replies) {
        replies.insert(replies.begin(), 2, ScriptedReply::silence());  // the wake-up lines
        return replies;
    }

    ScratchDir dir;
    ModuleLink link;
    FakePrompter prompter;
    FakeClock clock;
    LoggerSession session{link, prompter, clock};
    LineTable table;
    RecordDownload download{session, table};
};

TEST_F(DownloadOnScriptedPeer, ARecordLengthTheFramesCannotCarryStartsNothing) {
    for (int length : {8, 105, 400}) {
        ScriptedPeer peer(script({ScriptedReply::text(statusBytes(length, 100))}));
        connectTo(peer);
        prompter.messages.clear();
        prompter.saveAs = "dane.csv";
        EXPECT_EQ(download.start({}), DownloadStart::UnusableStatus) << length;
        EXPECT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].text, formatText(text::UnusableRecordLength, length));
        EXPECT_FALSE(std::filesystem::exists(dir.file("dane.csv")));
        link.close_com();
    }
}

TEST_F(DownloadOnScriptedPeer, ARefreshedStatusIsCheckedToo) {
    ScriptedPeer peer(script(
        {ScriptedReply::text(statusBytes(30, 100)), ScriptedReply::text(statusBytes(120, 100))}));
    connectTo(peer);
    prompter.saveAs = "dane.csv";
    EXPECT_EQ(download.start({}), DownloadStart::UnusableStatus);
    EXPECT_FALSE(std::filesystem::exists(dir.file("dane.csv")));
    link.close_com();
}

TEST_F(DownloadOnScriptedPeer, ABatchThatNeverArrivesEndsItAfterFiveTries) {
    ScriptedPeer peer(script(
        {ScriptedReply::text(statusBytes(30, 100)), ScriptedReply::text(statusBytes(30, 100))}));
    connectTo(peer);
    prompter.saveAs = "dane.csv";
    ASSERT_EQ(download.start({}), DownloadStart::Started);
    EXPECT_EQ(finishDownload(download), DownloadStep::NoData);
    EXPECT_EQ(prompter.messages.back().text, text::NoData);
    EXPECT_EQ(csvLines(dir.file("dane.csv")).size(), 1u);
    EXPECT_FALSE(link.IsOpen());
    const auto requests = requestsUpTo(peer, "*EOT!", 2);
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "*RD_1,15"), 5);
    EXPECT_EQ(requests.back(), "*EOT!");
}

}  // namespace
}  // namespace dkq::test
