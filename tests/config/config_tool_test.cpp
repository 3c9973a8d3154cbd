// dkq config-read, config-write and config-show end to end against dkqsim:
// a backup, a restore into a restarted module, the comparison by diff,
// default.dkq, failures that write nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "config/config_file.h"
#include "tests/support/sim_process.h"

namespace dkq {
namespace {

using test::runDkq;
class ConfigTool : public ::testing::Test {
  protected:
    void startSim(std::vector<std::string> extra = {}) {
        sim.reset();
        std::vector<std::string> args{"--deterministic", "--modules",   "1,2",
                                      "--tcp",           "127.0.0.1:0", "--state",
                                      dir.file("state")};
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<test::SimProcess>(args);
    }
    std::string tcp() const {
        return "--tcp 127.0.0.1:" + std::to_string(sim->tcpPort()) + " --timeout 150 ";
    }
    ConfigImage load(const std::string& name) {
        ConfigImage image{};
        EXPECT_EQ(loadConfigFile(dir.file(name), image), ConfigFileResult::Ok) << name;
        return image;
    }

    test::ScratchDir dir;
    std::unique_ptr<test::SimProcess> sim;
};

TEST_F(ConfigTool, BackUpRestoreCompareStartFromDefaultAndFailWritingNothing) {
    startSim();
    ASSERT_EQ(runDkq(tcp() + "config-read 1 backup.dkq").status, 0);
    ConfigImage image = load("backup.dkq");
    const std::string original = runDkq("config-show backup.dkq").out;
    for (const char* line :
         {"serial-number 34127856019A\nptt-delay 0\nmode calibration 0\n",
          "lcd-text \nL1 A=0 B=0\n", "C2 pulse-counting=0\nC3 pulse-counting=0  saturates=0\n",
          "R0 1\nR1 4660\nR2 22136\nR3 -26111\nR4 0\n"})
        EXPECT_NE(original.find(line), std::string::npos) << line;

    storeOutputRules(image, 3, {{true, 1, 1, 2, 0, 1500, 2, 10, 20}, {true, 1, 0, 0, 1, 900}});
    storePwmRule(image, 1, {true, 3, 4, 5, -1000, 250});
    storeCalibration(image, 2, {1002, -3});
    setModeFlag(image, ModeBit::SterOn, true);
    storeCounterFlags(image, {{true, false, true, false}, {true, false, false, true}});
    EncodeLcdText("T#27#05 $D4ok", image);
    image[5] = 40;
    image[230] = 123;
    ASSERT_EQ(saveConfigFile(dir.file("edited.dkq"), image), ConfigFileResult::Ok);
    ASSERT_EQ(runDkq(tcp() + "config-write 1 edited.dkq").status, 0);

    startSim();  // the module keeps its configuration memory in the state file
    ASSERT_EQ(runDkq(tcp() + "config-read 1 restored.dkq").status, 0);
    const std::string edited = runDkq("config-show edited.dkq").out;
    for (const char* lines :
         {"O3 ster_on=1  set=1  reg1=1  reg2=2  op=1  rel=0  val=1500  cp=2  t1=10  t2=20\n"
          "O3 clr=1  reg1=1  reg2=0  op=0  rel=1  val=900\n",
          "lcd-text T#27#05 $D4ok\n", "PWM1 enabled=1  op=3  reg1=4  reg2=5  k=-1000  c=250\n"})
        EXPECT_NE(edited.find(lines), std::string::npos) << lines;
    // Words come back sign-extended; registers 224..239 are written, never read.
    std::string restored = edited;
    for (const auto& [from, to] : {std::pair{"R105 56322\n", "R105 -9214\n"},
                                   {"R109 33792\n", "R109 -31744\n"},
                                   {"R186 64252\n", "R186 -1284\n"},
                                   {"R230 123\n", "R230 0\n"}})
        restored.replace(restored.find(from), std::string(from).size(), to);
    EXPECT_EQ(runDkq("config-show restored.dkq").out, restored);

    // config-read starts from default.dkq; failures write nothing.
    startSim({"--mute", "2"});
    ConfigImage defaults{};
    defaults.fill(9);
    ASSERT_EQ(saveConfigFile(dir.file("default.dkq"), defaults), ConfigFileResult::Ok);
    ASSERT_EQ(runDkq(tcp() + "config-read 1 a.dkq").status, 0);
    image = load("a.dkq");
    EXPECT_EQ((std::array{image[223], image[224], image[511]}), (std::array{0, 9, 9}));

    std::ofstream(dir.file("default.dkq"), std::ios::trunc) << "short";
    test::ToolRun run = runDkq(tcp() + "config-read 1 b.dkq");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "dkq: cannot read default.dkq: 5 bytes long, not 2048\n");
    EXPECT_EQ(load("b.dkq")[224], 0);

    run = runDkq(tcp() + "config-read 2 c.dkq");
    EXPECT_EQ(run.status, 1) << "the code of the last attempt";
    EXPECT_NE(run.err.find("Błąd przy odczycie bloku 0 !"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.dkq")));

    EXPECT_EQ(runDkq(tcp() + "config-write 1 default.dkq").status, 65);
    // Every file error names the file and the reason.
    for (const auto& [words, said] :
         {std::pair{tcp() + "config-write 1 none.dkq",
                    "66dkq: cannot open none.dkq: No such file or directory\n"},
          {tcp() + "config-read 1 no/folder/x.dkq",
           "73dkq: cannot read default.dkq: 5 bytes long, not 2048\ndkq: cannot write "
           "no/folder/x.dkq: No such file or directory\n"},
          {"config-show /dev/zero", "66dkq: cannot open /dev/zero: not a regular file\n"}}) {
        run = runDkq(words);
        EXPECT_EQ(std::to_string(run.status) + run.err, said);
    }
    EXPECT_EQ(runDkq("config-show").status, 64);
    EXPECT_EQ(runDkq("config-show default.dkq").status, 65);
    EXPECT_EQ(runDkq(tcp() + "config-read 1").status, 64);
}

}  // namespace
}  // namespace dkq
