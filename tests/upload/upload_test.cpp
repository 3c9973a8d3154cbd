// The upload: reading web-monitor.dat, the request and its sum against an
// independent CRC-32, and requests to a loopback HTTP server in every mode.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "tests/support/http_server.h"
#include "tests/support/sim_process.h"
#include "upload/http_upload.h"

namespace dkq {
namespace {

using test::HttpMode;
using test::HttpServer;

// Bit by bit, reflected polynomial 0xEDB88320: independent of zlib's table.
std::uint32_t referenceCrc32(std::string_view text) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const char c : text) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return crc ^ 0xFFFFFFFF;
}

std::string hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 60));
        const UploadSettings settings = parseUploadSettings(c.file);
        EXPECT_EQ(settings.address, c.address);
        EXPECT_EQ(settings.uid, c.uid);
        EXPECT_EQ(selected(settings), c.registers);
        EXPECT_EQ(settings.logResponses, c.logResponses);
    }
    test::ScratchDir dir;
    UploadSettings loaded = parseUploadSettings("URL=a\nUID=1\n");
    EXPECT_FALSE(LoadUploadSettings(loaded));
    EXPECT_FALSE(loaded.active());
}

TEST(UploadRequestTest, DataAndSumAgainstAnIndependentCrc) {
    EXPECT_EQ(referenceCrc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(uploadSum("12345", "6789"), 0xCBF43926u ^ 0x4e73u);

    UploadSettings settings = parseUploadSettings("URL=Server/Dir/\nUID=1021\nINREGS=17,2,1\n");
    UploadReadingValues reading;
    reading.kinds.fill(KindVolts);
    reading.kinds[0] = KindCelsius;
    reading.raw[0] = 2945;  // 21.4 °C through the monitor's float chain
    reading.raw[1] = 4500;
    reading.raw[16] = 120;
    const std::string data = "21.4,4.500,120";
    EXPECT_EQ(uploadRequest(settings, reading),
              "http://server/dir/rec.php?uid=1021&data=" + data +
                  "&sum=" + hex8(referenceCrc32("1021" + data) ^ 0x4e73));

    struct Case {
        int kind;
        int raw;
        std::string item;
    } kinds[] = {{KindCelsius, 2731, "-0.0"},
                 {KindVolts, 4092, "4.092"},
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
    EXPECT_EQ(uploadRequest(settings, reading),
              "http://s/rec.php?uid=-5&data=&sum=" + hex8(referenceCrc32("-5") ^ 0x4e73));
}

// One upload of a reading to a loopback server in the given mode.
struct UploadRun {
    int result = 0;
    double seconds = 0;
    std::vector<test::HttpRequest> requests;
    std::string answer;
    bool cut = false;
    std::string log;
};

UploadRun uploadTo(HttpServer& server, const std::string& datFile, UploadTimeouts timeouts) {
    test::ScratchDir dir;
    const UploadSettings settings = parseUploadSettings(
        "URL=127.0.0.1:" + std::to_string(server.port()) + "/p.php\n" + datFile);
    HttpUpload upload(settings, timeouts);
    upload.open();
    UploadReadingValues reading;
    reading.raw[0] = 1234;
    reading.kinds[0] = KindRaw;
    const auto start = std::chrono::steady_clock::now();
    UploadRun run;
    run.result = upload.UploadReading(reading);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.answer = upload.response().bytes;
    run.cut = upload.response().cut;
    run.requests = server.requests();
    run.log = test::readFileBytes(dir.file(AnswerLogFile));
    upload.close();
    return run;
}

TEST(HttpUploadTest, EveryServerBehaviourEndsInBoundedTime) {
    const CurlLibrary curl;
    const UploadTimeouts quick{300, 700};
    const std::string dat = "UID=9\nINREGS=1\nLOGRESP=1\n";
    const std::string target =
        "/p.php?uid=9&data=1234&sum=" + hex8(referenceCrc32("91234") ^ 0x4e73);

    HttpServer answering(HttpMode::Answer, "Zapisano\nOK");
    UploadRun run = uploadTo(answering, dat, quick);
    EXPECT_EQ(run.result, 1);
    ASSERT_EQ(run.requests.size(), 1u);
    EXPECT_EQ(run.requests[0].target, target);
    EXPECT_EQ(run.requests[0].userAgent, "DKQ-1 Monitor/1.7");
    EXPECT_EQ(run.log, "\r\nGET http://127.0.0.1:" + std::to_string(answering.port()) + target +
                           "\r\nZapisano\r\nOK");

    HttpServer late(HttpMode::AnswerLate, "late", 300);
    run = uploadTo(late, dat, {300, 2000});
    EXPECT_EQ(run.answer, "late");
    EXPECT_GE(run.seconds, 0.25);

    HttpServer silent(HttpMode::Silent);
    run = uploadTo(silent, dat, quick);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.requests.size(), 1u);
    EXPECT_LT(run.seconds, 2.0);
    EXPECT_EQ(run.log, "");

    HttpServer endless(HttpMode::EndlessBody);
    run = uploadTo(endless, dat, {300, 5000});
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.cut);
    EXPECT_EQ(run.answer, std::string(MaxAnswerBytes, 'x'));
    EXPECT_LT(run.seconds, 4.0);
    EXPECT_EQ(run.log.size(), run.log.find("\r\n", 2) + 2 + MaxAnswerBytes);

    HttpServer closing(HttpMode::CloseAtOnce);
    run = uploadTo(closing, dat, quick);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.log, "");

    HttpServer empty(HttpMode::Answer, "");
    EXPECT_EQ(uploadTo(empty, dat, quick).log, "");
    HttpServer unlogged(HttpMode::Answer, "x");
    EXPECT_EQ(uploadTo(unlogged, "UID=9\n", quick).log, "");
    HttpServer inactive(HttpMode::Answer);
    run = uploadTo(inactive, "UID=0\nLOGRESP=1\n", quick);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.requests.empty());
}

}  // namespace
}  // namespace dkq
