// The reporter of cppkv: classes, internal errors, console and side-file
// forms with and without a file name.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cppkv/reader.h"
#include "cppkv/report.h"
#include "cppkv/run.h"

namespace cppkv {
namespace {

struct ReportHarness {
  ReportHarness()
      : err(open_memstream(&err_text, &err_size)),
        in(std::tmpfile()),
        run(in, in, err, nullptr) {}
  ~ReportHarness() {
    std::fclose(err);
    std::fclose(in);
    std::free(err_text);
  }
  // Reports and returns the exit code of a fatal stop, or 0.
  int report_code(int message_class, int id, std::string_view name = {}) {
    try {
      report(run, message_class, id, name);
    } catch (const FatalStop& stop) {
      return stop.exit_code;
    }
    return 0;
  }
  std::string console() {
    std::fflush(err);
    return std::string(err_text, err_size);
  }
  char* err_text = nullptr;
  std::size_t err_size = 0;
  std::FILE* err;
  std::FILE* in;
  Run run;
};

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TEST(CppkvReport, ClassesAndExitCodes) {
  ReportHarness h;
  EXPECT_EQ(h.report_code(CLASS_ERROR, M_ILLEGAL_OPERATION), 0);
  EXPECT_TRUE(h.run.error_flag);
  EXPECT_EQ(h.report_code(CLASS_WARNING, M_ZERO_DIVIDE), 0);
  EXPECT_TRUE(h.run.warning_flag);
  EXPECT_EQ(h.report_code(CLASS_COMMAND, M_ILLEGAL_COMMAND_OPTION), 2);
  EXPECT_EQ(h.report_code(CLASS_FATAL, M_CANNOT_WRITE_OUTPUT), 3);
  EXPECT_EQ(h.report_code(CLASS_INTERNAL, M_INTERNAL_ERROR_99), 4);
  EXPECT_EQ(h.console(),
            "[Error(cppkv.26)] illegal operation\n"
            "[Warning(cppkv.86)] zero divide\n"
            "[Error(cppkv.1)] illegal command option\n"
            "[Error(cppkv.16)] cannot write output file\n"
            "[Error(cppkv.99)] Internal error\n");
}

TEST(CppkvReport, InternalErrorsAreAlwaysClassFive) {
  ReportHarness h;
  EXPECT_EQ(h.report_code(CLASS_WARNING, M_INTERNAL_ERROR_98), 4);
  EXPECT_EQ(h.report_code(CLASS_ERROR, 77), 4);  // not in the table
  EXPECT_EQ(h.report_code(CLASS_ERROR, 0), 4);
  EXPECT_FALSE(h.run.error_flag);
  EXPECT_FALSE(h.run.warning_flag);
  EXPECT_EQ(h.console(), "[Error(cppkv.98)] Internal error\n[Error(cppkv.99)] Internal error\n"
                         "[Error(cppkv.99)] Internal error\n");
}

TEST(CppkvReport, SideFileFormsAndTagModeRewrite) {
  ReportHarness h;
  std::string path = testing::TempDir() + "cppkv_report_tag.ctg";
  {
    std::ofstream(path) << "left from an earlier run\n";
  }
  h.run.settings.side_file_name = path;
  h.run.settings.tag_mode = true;
  h.report_code(CLASS_WARNING, M_REDEFINED, "X");  // no file: the file form anyway
  h.report_code(CLASS_ERROR, M_INCLUDE_NOT_FOUND, "a.h");
  set_position_override(h.run, "dir\\t.c", 12);
  h.report_code(CLASS_ERROR, M_INCLUDE_NOT_FOUND, "b.h");
  h.report_code(CLASS_WARNING, M_GARBAGE_ARGUMENT);
  h.report_code(CLASS_WARNING, M_REDEFINED, "Y");
  clear_position_override(h.run);
  EXPECT_EQ(slurp(path),
            " 0 Warning (cppkv.85): redefined 'X'\n"
            " Error (cppkv.21): include file not found 'a.h'\n"
            "dir\\t.c 12 Error (cppkv.21): include file not found 'b.h'\n"
            "dir\\t.c 12 Warning (cppkv.83): garbage argument\n"
            "dir\\t.c 12 Warning (cppkv.85): redefined 'Y'\n");
  EXPECT_EQ(h.console(),
            "[Warning(cppkv.85):, line 0] redefined 'X'\n"
            "[Error(cppkv.21)] include file not found 'a.h'\n"
            "[Error(cppkv.21):dir\\t.c, line 12] include file not found 'b.h'\n"
            "[Warning(cppkv.83):dir\\t.c, line 12] garbage argument\n"
            "[Warning(cppkv.85):dir\\t.c, line 12] redefined 'Y'\n");
  std::remove(path.c_str());
}

TEST(CppkvReport, ErrorDirectiveRecord) {
  ReportHarness h;
  std::string path = testing::TempDir() + "cppkv_report_err.txt";
  {
    std::ofstream(path) << "old\n";
  }
  h.run.settings.side_file_name = path;
  set_position_override(h.run, "t.c", 5);
  int code = 0;
  try {
    report_error_directive(h.run, "stop here\n\n");
  } catch (const FatalStop& stop) {
    code = stop.exit_code;
  }
  EXPECT_EQ(code, 2);
  EXPECT_FALSE(h.run.error_flag);
  EXPECT_EQ(h.console(), "t.c 5 Error stop here\n\n\n");
  EXPECT_EQ(slurp(path), "old\nt.c 5 Error stop here\n\n\n");
  std::remove(path.c_str());
}

TEST(CppkvReport, UnopenableSideFileIsForgotten) {
  ReportHarness h;
  h.run.settings.side_file_name = testing::TempDir() + "no/such/dir/e.txt";
  EXPECT_EQ(h.report_code(CLASS_WARNING, M_ZERO_DIVIDE), 3);
  EXPECT_FALSE(h.run.settings.side_file_name.has_value());
  EXPECT_EQ(h.console(), "[Warning(cppkv.86)] zero divide\n[Error(cppkv.20)] cannot open tag file\n");
}

}  // namespace
}  // namespace cppkv
