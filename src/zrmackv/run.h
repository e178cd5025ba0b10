// The run context: all state of one macro-processor run. A fresh one is
// made for every run, so two runs in one process never share anything.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "zrmackv/conditions.h"
#include "zrmackv/dependencies.h"
#include "zrmackv/directives.h"
#include "zrmackv/figure.h"
#include "zrmackv/info.h"
#include "zrmackv/line_engine.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/macro_state.h"
#include "zrmackv/messages.h"
#include "zrmackv/reserved.h"
#include "zrmackv/rewrite.h"
#include "zrmackv/settings.h"
#include "zrmackv/side_outputs.h"
#include "zrmackv/source.h"
#include "zrmackv/symbols.h"
#include "zrmackv/zrmackv.h"

namespace zrmackv {

// The scratch output file and the tag file, open from set-up to the end.
struct OutputFiles {
  std::FILE* output = nullptr;
  int output_state = FILE_NEVER_OPENED;
  std::FILE* tag = nullptr;
  int tag_state = FILE_NEVER_OPENED;
};

struct Run {
  Run(std::FILE* out, LineWriter* writer) : out(out), writer(writer ? writer : &discard) {}
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  std::FILE* out;  // standard output
  DiscardingLineWriter discard;
  LineWriter* writer;
  ExpandingLineWriter expanding;  // in front of writer under +expand

  Settings settings;
  Info info;
  Messages messages;
  SourceReader source;
  OutputFiles files;
  SymbolTable symbols;
  MacroEngine macro;
  FigureState figure;
  ReservedTable reserved;
  LineEngine line;
  DirectiveState directives;
  Conditions conditions;
  Rewrite rewrite;

  bool end_executed = false;      // .END was executed
  bool end_checks_begun = false;  // the end-of-source checks have begun
  DependencyList dependencies;  // every include file opened, in order
};

}  // namespace zrmackv
