#include "zrmackv/info.h"

#include <cstdarg>

#include "zrmackv/options.h"
#include "zrmackv/run.h"

namespace zrmackv {

namespace {

constexpr const char* kInfoFileName = "mackv.inf";

// The unit part of a raising place: the file name without its folders, so
// the trace does not depend on where the program was built.
std::string_view unit_name(const char* unit) {
  std::string_view name = unit ? unit : "";
  std::size_t slash = name.find_last_of("/\\");
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

void write_place(Info& info, RaisingPlace where) {
  std::string_view unit = unit_name(where.unit);
  std::fprintf(info.file, "%.*s(%u)", static_cast<int>(unit.size()), unit.data(), where.line);
}

// Writes without flushing: the per-line block is flushed once, at its end.
void put(Info& info, const char* format, ...) __attribute__((format(printf, 2, 3)));
void put(Info& info, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vfprintf(info.file, format, args);
  va_end(args);
}

// The header and name lines must reach the file; a failure there is fatal.
bool written(Info& info) { return std::fflush(info.file) == 0 && !std::ferror(info.file); }

void write_header(Run& run, std::string_view program, const std::vector<std::string>& args) {
  Info& info = run.info;
  const Settings& s = run.settings;
  std::FILE* f = info.file;
  std::fprintf(f, "===== %s V.%s %s", "zrmackv", "2.10.00", "(core 1.20.00)");
  std::fprintf(f, "(%s.%s) =====\n", "PC", "WN");
  for (const char* line : revision_identifiers(true)) std::fprintf(f, "%s\n", line);
  std::fprintf(f, "%.*s ", static_cast<int>(program.size()), program.data());
  for (const std::string& arg : args) std::fprintf(f, "%s ", arg.c_str());
  std::fprintf(f, "\n %s =", "INCKV");
  for (const std::string& dir : s.include_paths) std::fprintf(f, "   %s\n", dir.c_str());
  std::fprintf(f, "\n %s =   %s\n", "TMPKV", s.temp_dir.c_str());
  if (s.opt_d) {
    std::fputs("-D symbol set\n", f);
    for (const auto& [name, value] : s.defines)
      std::fprintf(f, "  %s = %lx\n", name.c_str(),
                   static_cast<unsigned long>(static_cast<std::uint32_t>(value)));
  }
  std::fputs("---\n", f);
}

// The macro-state section reads fields that not every build of the macro
// engine keeps; a missing one reads as 0.
template <typename M>
long formal_count(const M& m) {
  if constexpr (requires { m.frm_count; }) return static_cast<long>(m.frm_count);
  return 0;
}
template <typename M>
long final_repeat(const M& m) {
  if constexpr (requires { m.rep_final; }) return static_cast<long>(m.rep_final);
  return 0;
}
template <typename E>
long expansion_nesting(const E& engine) {
  if constexpr (requires { engine.mac_exp_cnt; }) return static_cast<long>(engine.mac_exp_cnt);
  return 0;
}

void write_expansion_nesting(Info& info, const MacroEngine& engine) {
  put(info, "macro expantion nesting level = %ld\n", expansion_nesting(engine));
}

void write_call_and_definition(Info& info, const Run& run, const MacExp& m) {
  put(info, "macro call  = %s(%ld)\n", m.caller_file.c_str(),
              static_cast<long>(m.caller_line));
  put(info, "macro define = %s(%ld)\n", run.source.current_file.c_str(),
              static_cast<long>(run.source.line_no));
}

void write_macro_state(Info& info, const Run& run) {
  const MacroEngine& engine = run.macro;
  const MacExp& m = *engine.current;
  switch (m.state) {
    case M_DEFINE:
      put(info, "== Now custom macro define ==\n");
      write_expansion_nesting(info, engine);
      put(info, "define nesting level = %ld\n", static_cast<long>(engine.define_nest));
      break;
    case R_DEFINE:
      put(info, "== Now repeat macro define ==\n");
      write_expansion_nesting(info, engine);
      put(info, "define nesting level = %ld  ", static_cast<long>(engine.define_nest));
      put(info, "repeat define nesting level = %ld\n",
                  static_cast<long>(engine.rep_define_nest));
      break;
    case M_EXPAND:
      put(info, "== Now custom macro expantion ==\n");
      write_expansion_nesting(info, engine);
      put(info, "macro JITSU-hikisuu number = %d  ", m.act_count);
      put(info, "macro KARI-hikisuu number = %d\n", static_cast<int>(formal_count(m)));
      write_call_and_definition(info, run, m);
      break;
    case R_EXPAND:
      put(info, "== Now repeat macro expantion ==\n");
      write_expansion_nesting(info, engine);
      put(info, "now repeat number = %ld   ", static_cast<long>(m.rep_now));
      put(info, "final repeat number = %ld\n", final_repeat(m));
      break;
    case M_EXIT:
      put(info, "== Now .EXITM execute in custom macro ==\n");
      write_expansion_nesting(info, engine);
      write_call_and_definition(info, run, m);
      break;
    case R_EXIT:
      put(info, "== Now .EXITM execute in repeat macro ==\n");
      write_expansion_nesting(info, engine);
      break;
    default:
      return;  // no macro activity
  }
  put(info, "=====\n");
}

void write_condition_state(Info& info, const Conditions& c) {
  if (c.if_nesting == 0) return;
  switch (c.blocks.back().block_type) {
    case BLOCK_IF: put(info, "=== Now .IF block  ===\n"); break;
    case BLOCK_ELIF: put(info, "== Now .ELIF block  ==\n"); break;
    case BLOCK_ELSE: put(info, "== Now .ELSE block  ==\n"); break;
    default: break;
  }
  put(info, "nesting number = %ld  ", static_cast<long>(c.if_nesting));
  put(info, "now line status = %s\n", c.assembling ? "TRUE" : "FALSE");
  put(info, "=====\n");
}

}  // namespace

std::uint32_t Info::handle(const void* block) {
  auto [it, added] = handles.try_emplace(block, next_handle);
  if (added) ++next_handle;
  return it->second;
}

std::string info_file_path(std::string_view temp_dir) {
  if (temp_dir.empty()) return kInfoFileName;
  std::string path(temp_dir);
  path += '\\';
  path += kInfoFileName;
  return path;
}

void info_open(Run& run, std::string_view program, const std::vector<std::string>& args) {
  Info& info = run.info;
  info.track_memory = run.settings.infom;
  info.file = src_fopen(run, info_file_path(run.settings.temp_dir), "wb", info.file_state);
  if (!info.file) fatal_stop(run, F_CANT_CREATE_TEMP, {});
  info.active = true;
  write_header(run, program, args);
  if (!written(info)) fatal_stop(run, F_CANT_CREATE_TEMP, {});
}

void info_names(Run& run) {
  Info& info = run.info;
  if (!info.active) return;
  const Settings& s = run.settings;
  std::FILE* f = info.file;
  std::fprintf(f, "in_dir = %s\n", s.in_dir.c_str());
  std::fprintf(f, "out_dir = %s\n", s.out_dir.c_str());
  std::fprintf(f, "proc_file = %s\n", s.proc_file.c_str());
  std::fprintf(f, "in_source = %s\n", s.source_name.c_str());
  std::fprintf(f, "out_source = %s\n", s.out_source.c_str());
  std::fprintf(f, "mac_tag = %s\n", s.mac_tag.c_str());
  if (!written(info)) fatal_stop(run, F_CANT_CREATE_TEMP, {});
}

void info_close(Run& run) {
  SourceReader& src = run.source;
  OutputFiles& files = run.files;
  // Files that were never opened have nothing to close and leave no trace.
  if (src.source_state != FILE_NEVER_OPENED) src_fclose(run, src.source_file, src.source_state);
  if (files.output_state != FILE_NEVER_OPENED) src_fclose(run, files.output, files.output_state);
  if (files.tag_state != FILE_NEVER_OPENED) src_fclose(run, files.tag, files.tag_state);
  Info& info = run.info;
  if (info.active) {
    std::fputs("--- end of information file ---\n", info.file);
    std::fflush(info.file);
    info.active = false;
    src_fclose(run, info.file, info.file_state);
  }
  src_close_all(run);
}

void info_user_abort(Info& info) {
  if (info.active) info_printf(info, "**** User abort ****\n");
}

void info_line_block(Run& run) {
  Info& info = run.info;
  const SourceReader& src = run.source;
  put(info, "-------------------- line[%5d] --------------------\n",
      static_cast<int>(src.line_count));
  if (src.depth > 0) put(info, "include nesting level = %d\n", src.depth);
  write_macro_state(info, run);
  write_condition_state(info, run.conditions);
  put(info, "Source line --> %s(%ld)[%s]\n", src.current_file.c_str(),
      static_cast<long>(src.line_no), src.line.c_str());
  std::fflush(info.file);
}

void info_printf(Info& info, const char* format, ...) {
  if (!info.file) return;
  std::va_list args;
  va_start(args, format);
  std::vfprintf(info.file, format, args);
  va_end(args);
  std::fflush(info.file);
}

void info_mem_alloc(Run& run, const void* block, std::size_t size, RaisingPlace where) {
  Info& info = run.info;
  info.alloc_total += static_cast<std::uint32_t>(size);
  if (!info.tracing_memory()) return;
  std::fprintf(info.file, "memory alloc %lu/%lu", static_cast<unsigned long>(size),
               static_cast<unsigned long>(info.alloc_total));
  std::fprintf(info.file, "[%X] : ", info.handle(block));
  write_place(info, where);
  std::fputc('\n', info.file);
  std::fflush(info.file);
}

void info_mem_free(Run& run, const void* block, RaisingPlace where) {
  Info& info = run.info;
  if (!info.tracing_memory()) return;
  std::fprintf(info.file, "memory free [%X] : ", info.handle(block));
  write_place(info, where);
  std::fputc('\n', info.file);
  std::fflush(info.file);
  info.handles.erase(block);
}

void info_place(Info& info, RaisingPlace where) {
  write_place(info, where);
  info_printf(info, "\n");
}

void info_file_opened(Info& info, RaisingPlace where, std::string_view path) {
  write_place(info, where);
  info_printf(info, " [%.*s] is open now\n", static_cast<int>(path.size()), path.data());
}

void info_file_already_open(Info& info, RaisingPlace where, std::string_view path) {
  write_place(info, where);
  info_printf(info, " [%.*s] Can't file open(already open)\n", static_cast<int>(path.size()),
              path.data());
}

void info_file_closed(Info& info, RaisingPlace where, bool was_open) {
  write_place(info, where);
  info_printf(info, was_open ? " file close now\n" : " Can't file close(not open)\n");
}

namespace {

// Handles of a stored line's node, text and file name, numbered in that
// order when first seen.
struct LineHandles {
  std::uint32_t node, line_data, f_name;
};
LineHandles line_handles(Info& info, const void* node, const void* line_data, const void* f_name) {
  LineHandles h{};
  h.node = info.handle(node);
  h.line_data = info.handle(line_data);
  h.f_name = info.handle(f_name);
  return h;
}

}  // namespace

void info_src_fgets(Info& info, const void* node, const void* line_data, const void* f_name) {
  LineHandles h = line_handles(info, node, line_data, f_name);
  info_printf(info, " src_fgets() ---> [%x], line_data[%x], f_name[%x]\n", h.node, h.line_data,
              h.f_name);
}

void info_message(Info& info, RaisingPlace where, std::string_view text) {
  write_place(info, where);
  info_printf(info, " ERROR : %.*s", static_cast<int>(text.size()), text.data());
}

void info_label_set(Info& info, std::string_view name) {
  info_printf(info, " label_set( %.*s )\n", static_cast<int>(name.size()), name.data());
}

void info_rewritten(Info& info, std::string_view line) {
  info_printf(info, "---> %.*s\n", static_cast<int>(line.size()), line.data());
}

void info_symbol_set(Info& info, std::string_view name, std::string_view kind_text,
                     bool from_global) {
  info_printf(info, " symbol_set( %.*s[%.*s] )%s\n", static_cast<int>(name.size()), name.data(),
              static_cast<int>(kind_text.size()), kind_text.data(),
              from_global ? " from GLOBAL" : "");
}

void info_symbol_define_new(Info& info, std::string_view name, int kind) {
  info_printf(info, " symbol_set( %.*s[%d] )\n", static_cast<int>(name.size()), name.data(), kind);
}

void info_equ_value(Info& info, std::string_view name, std::int32_t value) {
  info_printf(info, "%.*s = %ld [%08lXh]\n", static_cast<int>(name.size()), name.data(),
              static_cast<long>(value),
              static_cast<unsigned long>(static_cast<std::uint32_t>(value)));
}

void info_equ_not_valued(Info& info) { info_printf(info, "not ABS_VALUE\n"); }

void info_cnd_operand(Info& info, long left, bool compared, int right, bool verdict) {
  info_printf(info, "cnd_operand : left_val[%ld] ", left);
  if (compared) info_printf(info, "[%d] right_val", right);
  info_printf(info, "\ncondition is %s\n", verdict ? "TRUE" : "FALSE");
}

void info_cnd_operand_str(Info& info, std::string_view left, bool compared,
                          std::string_view right, bool verdict) {
  info_printf(info, "cnd_operand(str) : left_val[%.*s] ", static_cast<int>(left.size()),
              left.data());
  if (compared)
    info_printf(info, "[%.*s] right_str", static_cast<int>(right.size()), right.data());
  info_printf(info, "\ncondition is %s\n", verdict ? "TRUE" : "FALSE");
}

void info_include_try(Info& info, std::string_view path, std::string_view operand) {
  info_printf(info, "include file [%.*s]    opeland pattern [%.*s]\n",
              static_cast<int>(path.size()), path.data(), static_cast<int>(operand.size()),
              operand.data());
}

void info_include_try_option(Info& info, std::string_view path) {
  info_printf(info, "include file (-I option mode)[%.*s]\n", static_cast<int>(path.size()),
              path.data());
}

void info_include_try_environment(Info& info, std::string_view path) {
  info_printf(info, "include file (environment mode) [%.*s]\n", static_cast<int>(path.size()),
              path.data());
}

void info_assert_file(Info& info, std::string_view path, bool append) {
  info_printf(info, "----> assert file[%.*s][%s]\n", static_cast<int>(path.size()), path.data(),
              append ? "a" : "w");
}

void info_macro_define(Info& info, const void* node, const void* line_data, const void* f_name) {
  LineHandles h = line_handles(info, node, line_data, f_name);
  info_printf(info, "macro_define() ---> [%x], line_data[%x], f_name[%x]\n", h.node, h.line_data,
              h.f_name);
}

void info_old_macro_define(Info& info, const void* old_header) {
  info_printf(info, " old macro define point [%x]\n", info.handle(old_header));
}

void info_mac_redefine_free(Info& info, const void* node, std::string_view f_name, long line_no,
                            std::string_view line_data) {
  info_printf(info, "mac redefine free [%x], %.*s(%ld)[%.*s]\n", info.handle(node),
              static_cast<int>(f_name.size()), f_name.data(), line_no,
              static_cast<int>(line_data.size()), line_data.data());
}

void info_mac_para_chg(Info& info, int act_count, int frm_count) {
  info_printf(info, "== mac_para_chg() ==\nmacexp->para_act[%d] macexp->para_frm[%d]\n", act_count,
              frm_count);
}

void info_mac_para_chg_done(Info& info, std::string_view line) {
  info_printf(info, "--> %.*s\n", static_cast<int>(line.size()), line.data());
}

void info_mac_para_chg_before(Info& info, int act_count, int frm_count) {
  info_printf(info,
              "== mac_para_chg() ==\nmacexp->before->para_act[%d] macexp->before->para_frm[%d]\n",
              act_count, frm_count);
}

void info_mac_exp_underflow(Info& info) {
  info_printf(info, "***** mac_exp_cnt underflow *****\n");
}

}  // namespace zrmackv
