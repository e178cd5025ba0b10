// Command-line switches and environment variables of cppkv that only show
// through what a run then does: the system include variable chosen by -N,
// the kanji code from WBKIN, and the long and short forms of the warning
// switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cppkv_run_fixture.h"

namespace cppkv {
namespace {

class OptionsTest : public CppkvRunTest {};

TEST_F(OptionsTest, SystemIncludeVariableChosenByN) {
  const Environment env{{"INCRQ", "rq"}, {"INCKV", "kv"}, {"INCHX", "hx"}, {"INCHY", "hy"}};
  for (const char* dir : {"rq", "kv", "hx", "hy"}) file(std::string(dir) + "/s.h", "");
  file("t.c", "#include <s.h>\n");
  struct Case {
    std::vector<std::string> options;
    const char* found;  // nullptr: not found
  };
  const Case cases[] = {
      {{"-NCRQWA"}, "rq"},
      {{"-NCKVWA"}, "kv"},
      {{"-NCHXWA"}, "hx"},
      {{"-NCHYWA"}, "hy"},
      {{"-NCHYWA.x"}, "hy"},           // a prefix is enough
      {{"-NCHXWA", "-NCRQWA"}, "rq"},  // the last one wins
      {{"-NCHXWA", "-NINCKV"}, "hx"},  // an unknown word changes nothing
      {{"-NCHY"}, nullptr},
      {{}, nullptr},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    args.push_back("t.c");
    int code = run(args, "", env);
    if (c.found) {
      EXPECT_EQ(code, 0) << args[0];
      EXPECT_EQ(stdout_text, "t.c : " + std::string(c.found) + "\\s.h\n") << args[0];
    } else {
      EXPECT_EQ(code, 1);
      EXPECT_EQ(stderr_text, "[Error(cppkv.21):t.c, line 1] include file not found 's.h'\n");
    }
  }
}

TEST_F(OptionsTest, KanjiCodeFromWbkin) {
  // The second byte of the Shift-JIS pair is 0x5C: read as SJIS it is part
  // of a character and the literal closes; read as EUC it is a backslash
  // that escapes the closing quote.
  file("t.c", "\"\x95\x5c\"\n");
  const std::string escaped = "[Error(cppkv.33):t.c, line 1] new_line in string\n";
  const std::string bad =
      "[Warning(cppkv.88):t.c, line 1] Environment variable 'WBKIN' must be \"SJIS\" or  \"EUC\"\n";
  struct Case {
    const char* value;  // nullptr: unset
    std::string messages;
  };
  const Case cases[] = {
      {nullptr, ""}, {"SJIS", ""}, {"sjis", ""},   {"EUC", escaped}, {"euc", escaped},
      {"Euc", bad},  {"EUC ", bad}, {"SJIS2", bad}, {"", bad},
  };
  for (const Case& c : cases) {
    Environment env;
    if (c.value) env["WBKIN"] = c.value;
    run({"t.c"}, "", env);
    EXPECT_EQ(stderr_text, c.messages) << (c.value ? c.value : "(unset)");
  }
}

TEST_F(OptionsTest, WarningSwitchesLongAndShortForms) {
  file("nested.c", "/* a /* b */\n");
  for (const char* option : {"-Wall", "-c", "-cxyz"}) {
    EXPECT_EQ(run({option, "nested.c"}), 0) << option;
    EXPECT_EQ(stderr_text, "[Warning(cppkv.87):nested.c, line 1] /* within comment\n") << option;
  }
  EXPECT_EQ(run({"nested.c"}), 0);
  EXPECT_EQ(stderr_text, "");

  file("warn.c", "#assert 0\n");
  for (const char* option : {"-Wstop_at_warning", "-WSAW"}) EXPECT_EQ(run({option, "warn.c"}), 10) << option;

  file("asm.c", "#pragma ASM\n mov a,'x\n#pragma ENDASM\n");
  for (const char* option : {"-Wcheck_single_quote_asm", "-WCSQA"}) {
    EXPECT_EQ(run({option, "asm.c"}), 1) << option;
    EXPECT_EQ(stderr_text, "[Error(cppkv.33):asm.c, line 2] new_line in string\n") << option;
  }
  EXPECT_EQ(run({"asm.c"}), 0);
}

}  // namespace
}  // namespace cppkv
