// Fuzz target: one whole cppkv run per input, twice, on a fresh in-memory
// file system (nothing is written to disk, nothing of an earlier input is
// seen).
//
// Input layout: see harness.h for the option picks. The text after them is
// split at the lines "@@@@" into the source t.c, a.h beside it, sub/b.h
// (found through -Isub and through the system path variables) and the text
// of standard input, read when the default input name is left out.
//
// Run: make fuzz SECONDS=60 (corpus in fuzz/corpus/cppkv).
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "cppkv/cppkv.h"
#include "fuzz/harness.h"

namespace {

// File opens per run (the preprocessor spends no units on lines: its input
// is bounded by the files). An include tree that opens a file twice per
// level would otherwise open 2^40 files; 48 still reaches the nesting
// limit of 40.
constexpr std::uint64_t kWorkBudget = 48;

constexpr fuzz::Pick kOptions[] = {
    {"-c"},           {"-DX=1"},        {"-D"},           {"X=2"},          {"-DBAD$"},
    {"-DS='a b'"},    {"-UX"},          {"-U1bad"},       {"-Isub"},        {"-Isub,/w"},
    {"-I"},           {"-o"},           {"out.i"},        {"-Pout.i"},      {"-P"},
    {"-NCKVWA"},      {"-NCRQWA"},      {"-NCHXWA"},      {"-NCHYWA"},      {"-Nbogus"},
    {"-V"},           {"-WEF"},         {"-WEFerr.txt"},  {"-Werror_fileerr.txt"},
    {"-WMT"},         {"-Wmake_tagfile"}, {"-Wstdout"},   {"-Wall"},        {"-WSAW"},
    {"-Wstop_at_warning"},              {"-WCSQA"},       {"-Wcheck_single_quote_asm"},
    {"-Wccom_max_warnings"},            {"-WCMW"},        {"-asrq"},        {"-lnrq"},
    {"-dir"},         {"-l"},           {"-fansi"},       {"-f"},           {"-"},
    {"-x"},           {"t.c"},          {"missing.c"},    {"sub"},          {"-WEFmissing/e.txt"},
    {"EUC", "WBKIN"}, {"euc", "WBKIN"}, {"SJIS", "WBKIN"}, {"bad", "WBKIN"},
    {"sub", "INCKV"}, {"sub;/w", "INCRQ"}, {"", "INCHX"}, {"/nowhere;sub\\", "INCHY"},
    {"--help"},       {"-Wexpand_file"}, {"-Wexpand_fileexp.i"}, {"-MF"},         {"-MFdeps.d"},
    {"-MFt.c"},       {"-MFmissing/d"},  {"-MT"},           {"-MTall"},       {"-MT$(x) y"},
};

class DigestSink final : public cppkv::TextSink {
 public:
  explicit DigestSink(fuzz::TextDigest& digest) : digest_(digest) {}
  int put_char(int c) override {
    char ch = static_cast<char>(c);
    return digest_.add(std::string_view(&ch, 1)) ? c & 0xFF : -1;
  }
  int put_text(std::string_view text) override { return digest_.add(text) ? 0 : -1; }

 private:
  fuzz::TextDigest& digest_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * 1024) return -1;
  fuzz::Invocation inv = fuzz::decode(std::span(data, size), kOptions);
  fuzz::place_input(inv, "t.c");
  auto parts = fuzz::split_parts(inv.text, "\n@@@@\n", 4);

  fuzz::check_runs(
      [&] {
        fuzz::RunScope scope(kWorkBudget);
        auto& fs = scope.fs();
        fs.add_file("t.c", parts[0]);
        fs.add_file("a.h", parts[1]);
        fs.add_file("sub/b.h", parts[2]);
        fs.add_file("/stdin/text", parts[3]);
        std::FILE* in = fs.open("/stdin/text", "rb");
        fuzz::MemoryStream out;
        fuzz::MemoryStream err;
        fuzz::TextDigest digest;
        DigestSink sink(digest);
        fuzz::Outcome outcome;
        outcome.exit_code = cppkv::run_cppkv(inv.args, inv.env, in, out.file(), err.file(), &sink);
        std::fclose(in);
        outcome.standard_output = out.text();
        outcome.standard_error = err.text();
        outcome.text_digest = digest.value();
        outcome.files = fs.files();
        return outcome;
      },
      {0, 1, 2, 3, 4, 10}, fuzz::repeat_this_input(std::span(data, size)));
  return 0;
}
