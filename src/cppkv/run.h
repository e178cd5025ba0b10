// The run context: all state of one cppkv run. A fresh one is made for every
// run, so two runs in one process never share anything.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "cppkv/cppkv.h"
#include "cppkv/expr.h"
#include "cppkv/macros.h"
#include "cppkv/reader.h"
#include "cppkv/settings.h"
#include "cppkv/side_outputs.h"

namespace cppkv {

struct Run {
  Run(std::FILE* in, std::FILE* out, std::FILE* err, TextSink* sink)
      : in(in), out(out), err(err), sink(sink ? sink : &discard),
        clean_scratch(new char[kLineBufferSize + 2]) {
    settings.message_stream = err;
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  std::FILE* in;   // standard input
  std::FILE* out;  // standard output: dependency list (and messages under -Wstdout)
  std::FILE* err;  // standard error
  DiscardingSink discard;
  TextSink* sink;  // the primitive writers
  ExpandFileSink expand_sink;  // in front of the sink under -Wexpand_file

  Settings settings;
  MacroTable macros;
  Reader reader;
  std::unique_ptr<char[]> clean_scratch;  // work area of clean_line
  ExprWork expr_work;                     // work areas of evaluate_condition

  // Reporter state.
  bool error_flag = false;
  bool warning_flag = false;
  bool side_file_first_open = true;
  std::string report_text;  // work area of report: one console line or side-file record

  // Output state.
  bool dependency_written = false;
  std::vector<std::string> opened_files;  // for -MF: each once, in opening order
  std::unordered_set<std::string> opened_seen;

  // Directive engine state.
  bool asm_block = false;
  bool endif_missing = false;
};

}  // namespace cppkv
