// Information file "mackv.inf" (+info, +infom): a trace of the run with the
// header, the file names, one block per source line, every file opened and
// closed, every diagnostic raised, the trace lines of the other units and,
// under +infom, every tracked allocation and release with a running total.
//
// Every trace writer is behind a check of Info::active at its call site, so
// a run without +info pays one test of a flag and nothing else.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "zrmackv/messages.h"

namespace zrmackv {

struct Run;

struct Info {
  std::FILE* file = nullptr;
  int file_state = 0;            // open state of the file (see OpenState)
  bool active = false;           // from the open until the closing line is written
  bool track_memory = false;     // +infom: allocations and releases are written
  std::uint32_t alloc_total = 0; // sum of every tracked size since start-up; never lowered

  // Handles printed with "%x": each block gets a small number of its own on
  // first sight, so the same record prints the same handle throughout the
  // run and runs are comparable. A released block gives its handle up.
  std::unordered_map<const void*, std::uint32_t> handles;
  std::uint32_t next_handle = 1;

  bool tracing_memory() const { return active && track_memory; }
  std::uint32_t handle(const void* block);
};

// Name of the information file: "mackv.inf" in the current directory, or in
// the TMPKV directory (which already ends in a separator) after one more "\".
std::string info_file_path(std::string_view temp_dir);

// Opens the file and writes the header; "Can't create Temporary file" (exit
// 2) when the file cannot be created or the header cannot be written.
// program is the program's own path as started, args the arguments after it.
void info_open(Run& run, std::string_view program, const std::vector<std::string>& args);

// The six file-name lines, once the names are derived.
void info_names(Run& run);

// Closes the source, output and tag files, writes the closing line, closes
// the information file and then every include file. Used by every end of a
// run: the normal end, -v, a fatal stop and an interrupt.
void info_close(Run& run);

// The interrupt line written just before the closing line.
void info_user_abort(Info& info);

// The block written before each source line is processed.
void info_line_block(Run& run);

// Writes printf-style text and flushes. Write failures after the header are
// ignored: the trace is an aid and must never stop or endanger the run.
void info_printf(Info& info, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Tracked allocation: adds size to the total and, under +infom, writes the
// allocation line with the block's handle and the allocating place.
void info_mem_alloc(Run& run, const void* block, std::size_t size,
                    RaisingPlace where = RaisingPlace::current());
// Tracked release: under +infom writes the release line; the handle is
// given up so a later block at the same address gets a fresh one.
void info_mem_free(Run& run, const void* block, RaisingPlace where = RaisingPlace::current());

// Trace lines of the source reader, messages, labels and rewriting. Callers
// check Info::active first.
void info_place(Info& info, RaisingPlace where);
void info_file_opened(Info& info, RaisingPlace where, std::string_view path);
void info_file_already_open(Info& info, RaisingPlace where, std::string_view path);
void info_file_closed(Info& info, RaisingPlace where, bool was_open);
void info_src_fgets(Info& info, const void* node, const void* line_data, const void* f_name);
void info_message(Info& info, RaisingPlace where, std::string_view text);
void info_label_set(Info& info, std::string_view name);
void info_rewritten(Info& info, std::string_view line);

// Trace lines of the symbol table, conditions and include search.
// from_global: a global declaration became an S_EQU.
void info_symbol_set(Info& info, std::string_view name, std::string_view kind_text,
                     bool from_global);
void info_symbol_define_new(Info& info, std::string_view name, int kind);
void info_equ_value(Info& info, std::string_view name, std::int32_t value);
void info_equ_not_valued(Info& info);
void info_cnd_operand(Info& info, long left, bool compared, int right, bool verdict);
void info_cnd_operand_str(Info& info, std::string_view left, bool compared,
                          std::string_view right, bool verdict);
void info_include_try(Info& info, std::string_view path, std::string_view operand);
void info_include_try_option(Info& info, std::string_view path);
void info_include_try_environment(Info& info, std::string_view path);
void info_assert_file(Info& info, std::string_view path, bool append);

// Trace lines of the macro engine.
// Each stored line of a definition.
void info_macro_define(Info& info, const void* node, const void* line_data, const void* f_name);
// A redefinition: the header of the definition it replaces.
void info_old_macro_define(Info& info, const void* old_header);
// Each line of a replaced body when it is finally released.
void info_mac_redefine_free(Info& info, const void* node, std::string_view f_name, long line_no,
                            std::string_view line_data);
// Parameter substitution of a macro expansion: before (counts of the
// current expansion) and after (the substituted line).
void info_mac_para_chg(Info& info, int act_count, int frm_count);
void info_mac_para_chg_done(Info& info, std::string_view line);
// Parameter substitution inside a repeat body, with the enclosing counts.
void info_mac_para_chg_before(Info& info, int act_count, int frm_count);
// An expansion ended while mac_exp_cnt was already 0.
void info_mac_exp_underflow(Info& info);
// A string function replaced: the new line (the same form as rewriting).
inline void info_string_function(Info& info, std::string_view line) { info_rewritten(info, line); }

}  // namespace zrmackv
