// The command lines of the sample programs of the main job: each answers
// --help with its usage, and without a kernel host says in words what is
// missing, with the status's name.
#include <string>
#include <vector>

#include "driver/user/tests/pardow_test_support.h"

namespace pardow_test {
namespace {

class SampleCommandLines : public PardowMachine {
 protected:
  struct Run {
    int exit = -1;
    std::string output;  // standard output and standard error
  };

  // Runs a program built beside the tests through a shell, which first runs `prelude`.
  static Run RunProgram(const std::string& program, const std::string& arguments, const std::string& prelude = "") {
    ChildProcess shell("/bin/sh",
                       {"-c", prelude + "exec '" + plat::testing::sibling_program(program) + "' " + arguments + " 2>&1"});
    Run run;
    for (std::string line = shell.read_line(60s); !line.empty(); line = shell.read_line(60s)) run.output += line + "\n";
    run.exit = shell.wait(60s);
    return run;
  }
};

TEST_F(SampleCommandLines, EachSampleAnswersHelpWithItsUsage) {
  for (const char* program : {"pardow-boards", "pardow-grab", "plat-boards", "plat-selfcheck"}) {
    SCOPED_TRACE(program);
    const Run help = RunProgram(program, "--help");
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.output.rfind(std::string("usage: ") + program, 0), 0u) << help.output;
    EXPECT_NE(help.output.find("PLAT_MACHINE"), std::string::npos) << help.output;
    const Run wrong = RunProgram(program, "--no-such-option a b c");
    EXPECT_EQ(wrong.exit, 2) << wrong.output;
    EXPECT_NE(wrong.output.find("usage: "), std::string::npos) << wrong.output;
  }
}

TEST_F(SampleCommandLines, WithoutAKernelHostTheSamplesSayWhatIsMissing) {
  struct Case {
    const char* program;
    const char* prelude;
    std::vector<std::string> said;
  };
  const std::string noHost = "no kernel host answers on this machine, or it runs no board: start kernel-host first";
  const Case cases[] = {
      {"pardow-boards", "", {"QELHW_ERROR_NO_BOARD_FOUND (-3004)", noHost}},
      {"pardow-grab", "", {"QELHW_ERROR_NO_BOARD_FOUND (-3004)", noHost}},
      {"pardow-boards", "unset PLAT_MACHINE; ",
       {"QELHW_ERROR_ACQUIRE_MUTEX (-3007)", "PLAT_MACHINE must name the machine directory"}},
      {"pardow-boards", "unset YATFOLVA4XDIR; ", {"QELHW_ERROR_RESOURCE_MISSING (-2009)", "YATFOLVA4XDIR must name"}},
      {"plat-boards", "", {"no kernel host runs on the machine ", "start kernel-host first"}},
      {"plat-boards", "unset PLAT_MACHINE; ", {"PLAT_MACHINE names no machine directory"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.prelude) + c.program);
    const Run run = RunProgram(c.program, "", c.prelude);
    EXPECT_EQ(run.exit, 1) << run.output;
    for (const std::string& text : c.said) EXPECT_NE(run.output.find(text), std::string::npos) << text << "\n" << run.output;
  }
}

}  // namespace
}  // namespace pardow_test
