// The upload: reading web-monitor.dat, the request and its sum, and the
// worker that sends the requests to a loopback HTTP server in every mode.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/plain_file.h"
#include "common/text_file.h"
#include "link/log_file.h"
#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "upload/http_upload.h"

namespace dkq {
namespace {

using test::HttpMode;
using test::HttpServer;

std::string selected(const UploadSettings& settings) {
    std::string list;
    for (int r = 0; r < EntryCount; ++r) {
        if (settings.registers[static_cast<std::size_t>(r)]) list += std::to_string(r + 1) + " ";
    }
    return list;
}

TEST(UploadSettingsTest, FileRulesAsTable) {
    struct Case {
        std::string file;
        std::string address;
        int uid;
        std::string registers;
        int logResponses;
    } cases[] = {
        {"URL=HTTP://Server/Dir/\nUID=7\n", "server/dir/rec.php", 7, "", 0},
        {"URL=server/dir\r\n", "server/dir/rec.php", 0, "", 0},
        {"URL=server/dir/send.php\n", "server/dir/send.php", 0, "", 0},
        {"URL=http://x/A.PHP?k=1\n", "x/a.php?k=1", 0, "", 0},
        {"#URL=server\nUID=3\n", "", 3, "", 0},
        {"  URL=server\n", "server/rec.php", 0, "", 0},
        {"MYURL=server UID= -5 LOGRESP=1\n", "server/rec.php", -5, "", 1},
        {"URL=  two words\n", "two/rec.php", 0, "", 0},
        {"URL=\nURL=a\nURL=\n", "a/rec.php", 0, "", 0},
        {"UID=12\nUID=x\n", "", 12, "", 0},
        {"UID=99999999999\n", "", 0, "", 0},
        {"LOGRESP=1\nLOGRESP=0\n", "", 0, "", 0},
        {"INREGS=17 3 3 1\n", "", 0, "1 3 17 ", 0},
        {"INREGS=0,21,25\n", "", 0, "", 0},
        {"INREGS=2;-5\nINREGS=20", "", 0, "2 5 20 ", 0},
        {"INREGS=999999999999999999999,4\n", "", 0, "4 ", 0},
        {"URL=" + std::string(500, 'b') + "\n", "", 0, "", 0},
        {"URL=" + std::string(496, 'b') + "\n", std::string(496, 'b') + "/rec.php", 0, "", 0},
        {std::string(1017, ' ') + "UID=42\n", "", 42, "", 0},
        {std::string(1019, ' ') + "UID=42\n", "", 0, "", 0},
        // Control bytes are refused: a NUL would cut the request.
        {std::string("URL=bad\0/x\nUID=1\n", 17), "", 1, "", 0},
        {"URL=bad\x01/er\nUID=1\n", "", 1, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 60));
        const UploadSettings settings = parseUploadSettings(c.file);
        EXPECT_EQ(settings.address, c.address);
        EXPECT_EQ(settings.uid, c.uid);
        EXPECT_EQ(selected(settings), c.registers);
        EXPECT_EQ(settings.logResponses, c.logResponses);
        EXPECT_EQ(settings.addressRefused, c.file.starts_with("URL=bad"));
    }
    const UploadSettings secure =
        parseUploadSettings("URL=HTTPS://Server/\nTOKEN=t0k3n x\nCAFILE=ca.pem\nUID=1\n");
    EXPECT_EQ(std::tuple(secure.https, secure.address, secure.token, secure.caFile),
              std::tuple(true, "server/rec.php", "t0k3n", "ca.pem"));
    EXPECT_TRUE(parseUploadSettings("URL=s\nTOKEN=a\x01z\n").addressRefused);  // a header line
    // "https://" takes one more character of the request's field than "http://".
    EXPECT_EQ(parseUploadSettings("URL=https://" + std::string(496, 'b')).address, "");
    test::ScratchDir dir;
    UploadSettings loaded = parseUploadSettings("URL=a\nUID=1\n");
    EXPECT_FALSE(loadUploadSettings(loaded));
    EXPECT_FALSE(loaded.active());
    // A refused address is told on standard error and in the answer log.
    ASSERT_TRUE(writeWholeFile(UploadSettingsFile, "URL=a\x7F\nUID=1\n"));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(loadUploadSettings(loaded));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "webmon: Adres URL w pliku web-monitor.dat zawiera znak sterujący: wysyłanie do "
              "serwera wyłączone.\n");
    EXPECT_EQ(test::readFileBytes(AnswerLogFile),
              "\r\nAdres URL w pliku web-monitor.dat zawiera znak steruj\271cy: wysy\263anie do "
              "serwera wy\263\271czone.\r\n");
    EXPECT_FALSE(loaded.active());
}

TEST(UploadRequestTest, DataAndSumWithLeadingZeros) {
    EXPECT_EQ(uploadSum("12345", "6789"), 0xCBF47755u);  // CRC-32 check value XOR 0x4e73

    UploadSettings settings = parseUploadSettings("URL=Server/Dir/\nUID=1021\nINREGS=17,2,1\n");
    UploadReadingValues reading;
    reading.kinds.fill(KindVolts);
    reading.kinds[0] = KindCelsius;
    reading.raw[0] = 2945;  // 21.4 °C through the monitor's float chain
    reading.raw[1] = 4500;
    reading.raw[16] = 120;
    EXPECT_EQ(uploadRequest(settings, reading),
              "http://server/dir/rec.php?uid=1021&data=21.4,4.500,120&sum=a9fa2ac4");
    settings.registers = {};
    settings.registers[0] = true;
    reading.kinds[0] = KindRaw;
    reading.raw[0] = 31;
    EXPECT_EQ(uploadRequest(settings, reading),
              "http://server/dir/rec.php?uid=1021&data=31&sum=05fb59d9");

    struct Case {
        int kind;
        int raw;
        std::string item;
    } kinds[] = {{KindCelsius, 2731, "-0.0"},
                 {KindKelvin, 3000, "300.0"},
                 {KindRaw, 4092, "4092"},
                 {7, 65535, "65535"}};
    settings.registers = {};
    settings.registers[3] = true;
    settings.registers[19] = true;
    reading.raw[19] = 65535;
    for (const Case& c : kinds) {
        reading.kinds[3] = c.kind;
        reading.raw[3] = c.raw;
        EXPECT_EQ(uploadData(settings, reading), c.item + ",65535");
    }

    settings = parseUploadSettings("URL=s\nUID=-5\n");
    EXPECT_EQ(uploadRequest(settings, reading), "http://s/rec.php?uid=-5&data=&sum=3740c240");

    // With BUFFER=1 each request carries its reading's time, UTC to the millisecond.
    using namespace std::chrono;
    EXPECT_EQ(uploadTimeText(sys_days{year(2024) / 2 / 29} + milliseconds(86399007)),
              "2024-02-29T23:59:59.007Z");
    EXPECT_EQ(parseUploadSettings("URL=s\nUID=9\nBUFFER=1\nBUFFER=0\n").buffered() * 100 +
                  parseUploadSettings("UID=9\nBUFFER=1\n").buffered() * 10 +
                  parseUploadSettings("URL=s\nUID=9\nBUFFER=1\n").buffered(),
              1);
}

// The outbox file: lines appended, the head marked with the next reading, cut
// to nothing when empty, a torn line passed over; past the bounds the oldest
// go; one program at a time.
TEST(OutboxTest, JournalRecoveryBoundsAndLocking) {
    test::ScratchDir dir;
    {
        Outbox outbox(OutboxFile, {});
        ASSERT_TRUE(outbox.open());
        outbox.add("a");
        outbox.add("bb");
        outbox.settle(*outbox.oldest(), true);
        outbox.add("c");
        EXPECT_EQ(test::readFileBytes(OutboxFile),
                  "R a 3f4856a0\nR bb 8c7a5784\nH 13 1 39e8e633\nR c d146378c\n");
        Outbox other(OutboxFile, {});
        EXPECT_FALSE(other.open());
        EXPECT_EQ(other.problem(),
                  "Nie można otworzyć kolejki do serwera web-monitor.outbox: "
                  "używa jej inny program.");
    }
    ASSERT_TRUE(appendToFile(OutboxFile, "R d 1234"));
    Outbox outbox(OutboxFile, {2, 0});
    ASSERT_TRUE(outbox.open());
    const Outbox::Entry bb = *outbox.oldest();
    EXPECT_EQ(bb.query + std::to_string(outbox.waiting()), "bb2");
    outbox.add("e");          // drops bb ...
    outbox.settle(bb, true);  // ... which arrived after all
    outbox.add("f");          // drops c
    outbox.settle(*outbox.oldest(), false);
    EXPECT_EQ(outbox.oldest()->query, "f");
    outbox.settle(*outbox.oldest(), true);
    EXPECT_EQ(std::filesystem::file_size(OutboxFile), 0u);
    EXPECT_FALSE(outbox.add("a b"));
    EXPECT_EQ(outboxLossesText(outbox.losses()),
              "Pomiarów odrzuconych przez serwer: 1, usuniętych "
              "z pełnej kolejki: 1, niezapisanych w kolejce: 1.");
    outbox.close();
    Outbox shortOfDisk(OutboxFile, {100, UINT64_MAX});  // keeps the newest only
    ASSERT_TRUE(shortOfDisk.open());
    for (const char* query : {"x", "y", "z"}) shortOfDisk.add(query);
    EXPECT_EQ(shortOfDisk.waiting() * 10 + shortOfDisk.losses().overflowed, 12);
}

// One recording run of `readings` records against a loopback server: the
// worker started, each record handed over, STOP.
struct UploadRun {
    int result = 0;
    long long unsent = 0;
    double stopSeconds = 0;
    std::vector<test::HttpRequest> requests;
    std::string log;
    std::string errors;
};

UploadRun uploadTo(HttpServer& server, const std::string& datFile, int readings = 1,
                   UploadLimits limits = {300, 700, 1000, 2000}) {
    const UploadSettings settings = parseUploadSettings(
        "URL=127.0.0.1:" + std::to_string(server.port()) + "/p.php\n" + datFile);
    HttpUpload upload(settings, limits);
    upload.open();
    UploadReadingValues reading;
    reading.kinds[0] = KindRaw;
    UploadRun run;
    for (int i = 0; i < readings; ++i) {
        reading.raw[0] = 1234 + i;
        run.result = upload.UploadReading(reading);
        // The first request is in flight before the others are handed over.
        while (i == 0 && readings > 1 && server.requests().empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    run.unsent = upload.close();
    run.stopSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.errors = testing::internal::GetCapturedStderr();
    run.requests = server.requests();
    run.log = test::readFileBytes(AnswerLogFile);
    return run;
}

TEST(HttpUploadTest, RequestsInOrderOnceEachBoundedWaitingAndAnswerLog) {
    const CurlLibrary curl;
    test::ScratchDir dir;
    const std::string dat = "UID=9\nINREGS=1\nLOGRESP=1\n";
    // The answer log full to its bound is rotated before the next answer.
    std::ofstream(AnswerLogFile).close();
    std::filesystem::resize_file(AnswerLogFile, LogRotationBytes - 10);

    HttpServer answering(HttpMode::Answer, "Zapisano\nOK");
    UploadRun run = uploadTo(answering, dat, 3);
    EXPECT_EQ(run.result * 10 + run.unsent, 10);
    const std::string host = "\r\nGET http://127.0.0.1:" + std::to_string(answering.port());
    EXPECT_EQ(run.log, host + "/p.php?uid=9&data=1234&sum=d0b45c26\r\nZapisano\r\nOK" + host +
                           "/p.php?uid=9&data=1235&sum=a7b36cb0\r\nZapisano\r\nOK" + host +
                           "/p.php?uid=9&data=1236&sum=3eba3d0a\r\nZapisano\r\nOK");
    EXPECT_EQ(std::filesystem::file_size(rotatedLogPath(AnswerLogFile)), LogRotationBytes - 10);

    // A silent server holds the first request: of five more only the last two
    // wait, and STOP leaves those after its wait.
    HttpServer silent(HttpMode::Silent);
    std::filesystem::remove(AnswerLogFile);
    run = uploadTo(silent, dat, 6, {300, 5000, 2, 500});
    EXPECT_EQ(run.requests.size() * 10 + run.unsent, 15u);
    EXPECT_NEAR(run.stopSeconds, 0.9, 0.5);  // the request in flight left after 0.5 s
    EXPECT_EQ(run.errors, "webmon: Nie wysłano do serwera pomiarów: 5.\n");
    EXPECT_EQ(run.log, "\r\nNie wys\263ano do serwera pomiar\363w: 5.\r\n");

    // A request that times out makes room for the next one waiting: of the
    // five behind it the newest two are sent.
    HttpServer timingOut(HttpMode::Silent);
    run = uploadTo(timingOut, dat, 6, {300, 300, 2, 2000});
    std::string sent;
    for (const test::HttpRequest& request : run.requests)
        sent += request.target.substr(request.target.find("data=") + 5, 4) + " ";
    EXPECT_EQ(sent, "1234 1238 1239 ");

    // An endless answer is cut at its bound; nothing is logged without an
    // answer or without LOGRESP, nothing is sent without a uid.
    HttpServer endless(HttpMode::EndlessBody);
    std::filesystem::remove(AnswerLogFile);
    run = uploadTo(endless, dat, 1, {300, 5000, 1000, 2000});
    EXPECT_EQ(run.log.size(), run.log.find("\r\n", 2) + 2 + MaxAnswerBytes);
    std::filesystem::remove(AnswerLogFile);
    HttpServer closing(HttpMode::CloseAtOnce);
    HttpServer empty(HttpMode::Answer, "");
    HttpServer unlogged(HttpMode::Answer, "x");
    EXPECT_EQ(
        uploadTo(closing, dat).log + uploadTo(empty, dat).log + uploadTo(unlogged, "UID=9\n").log,
        "");
    HttpServer inactive(HttpMode::Answer);
    run = uploadTo(inactive, "UID=0\nLOGRESP=1\n");
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.requests.empty());
}

// With BUFFER=1 a 5xx is tried again after pauses that double, a 4xx is
// refused for good: logged, dropped and counted at STOP.
TEST(HttpUploadTest, BufferedRetriesAfterDoublingPausesAndDropsRefusals) {
    using namespace std::chrono;
    const CurlLibrary curl;
    test::ScratchDir dir;
    HttpServer server(HttpMode::Answer, "bad", {503, 503, 503, 400});
    const std::string host = "127.0.0.1:" + std::to_string(server.port());
    const UploadSettings settings =
        parseUploadSettings("URL=" + host + "/p.php\nUID=9\nINREGS=1\nBUFFER=1\n");
    HttpUpload upload(settings, {300, 700, 1000, 2000, 100, 400});
    upload.open();
    UploadReadingValues reading;
    reading.kinds[0] = KindRaw;
    reading.time = sys_days{year(2026) / 12 / 7} + milliseconds(31850540);  // 08:50:50.540
    const auto start = steady_clock::now();
    for (int i = 0; i < 2; ++i, ++reading.raw[0], reading.time += seconds(1))
        upload.UploadReading(reading);
    while (upload.state().waiting > 0 && steady_clock::now() - start < seconds(10))
        std::this_thread::sleep_for(milliseconds(10));
    EXPECT_GT(steady_clock::now() - start, milliseconds(650));  // 100, 200 and 400 ms of pauses
    testing::internal::CaptureStderr();
    upload.close();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "webmon: Pomiarów odrzuconych przez serwer: 1, usuniętych z pełnej kolejki: 0, "
              "niezapisanych w kolejce: 0.\n");
    std::string targets;
    for (const test::HttpRequest& request : server.requests()) targets += request.target + " ";
    const std::string r0 = "/p.php?uid=9&data=0&time=2026-12-07T08:50:50.540Z&sum=692298dd";
    EXPECT_EQ(targets, r0 + " " + r0 + " " + r0 + " " + r0 +
                           " /p.php?uid=9&data=1&time=2026-12-07T08:50:51.540Z&sum=07f5db76 ");
    EXPECT_EQ(
        test::readFileBytes(AnswerLogFile),
        "\r\nGET http://" + host + r0 +
            "\r\nbad\r\nSerwer odrzuci\263 pomiar (HTTP 400): usuni\352ty z kolejki.\r\n"
            "\r\nPomiar\363w odrzuconych przez serwer: 1, usuni\352tych z pe\263nej kolejki: 0, "
            "niezapisanych w kolejce: 0.\r\n");
}

}  // namespace
}  // namespace dkq
