// Fuzz target: one whole macro-processor run per input, twice, on a fresh
// in-memory file system (nothing is written to disk, nothing of an earlier
// input is seen).
//
// Input layout: see harness.h for the option picks. The text after them is
// split at the lines "%%" into the source src.arq, an include file a.inc
// beside it and an include file sub/b.inc (found through -Isub or INCKV).
// The folders sub, out and tmp exist; missing is absent.
//
// Run: make fuzz SECONDS=60 (corpus in fuzz/corpus/zrmackv).
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "fuzz/harness.h"
#include "zrmackv/line_writer.h"
#include "zrmackv/zrmackv.h"

namespace {

// Lines and opens per run: more than any seed needs, small enough that
// an endless repetition or an exponential include tree ends in a fraction
// of a millisecond (a budget of 4,000 made such inputs a third of the
// fuzzer's time).
constexpr std::uint64_t kWorkBudget = 500;

constexpr fuzz::Pick kOptions[] = {
    {"-l"},        {"-lm"},          {"-lcdim"},        {"-lx"},         {"-lcdimcd"},
    {"-t"},        {"-ttag.atg"},    {"-tout\\t.atg"},  {"-tsrc.arq"},   {"-tmissing\\x.atg"},
    {"-patch1"},   {"-p"},           {"-patch2"},       {"-f"},          {"-f1"},
    {"-DX=1:Y=0FFH:Z=101B"},         {"-d"},            {"-dA=1:B"},     {"-DBAD"},
    {"-Isub"},     {"-I"},           {"-Isub\\"},       {"-I/w/sub/"},   {"-oout"},
    {"-o"},        {"-omissing"},    {"-o/w/out\\"},    {"-."},          {"-.x"},
    {"-v"},        {"-macname"},     {"-mac"},          {"-rtext"},      {"-r"},
    {"-Q"},        {"+info"},        {"+infom"},        {"+nosrc"},      {"+equok"},
    {"+notime"},   {"+line_cntr"},   {"+modify"},       {"+option_list"}, {"+bogus"},
    {"src.arq"},   {"other"},        {"sub\\b.inc"},    {"a.inc"},
    {"/w/tmp", "TMPKV"},             {"missing", "TMPKV"},               {"", "TMPKV"},
    {"sub;;/w", "INCKV"},            {"/w/sub", "INCKV"},                {";", "INCKV"},
    {"missing;sub\\", "INCKV"},
    {"--help"},    {"+expand"},      {"+depfile=deps.d"},                {"+depfile=out\\x.d"},
    {"+depfile=missing\\x.d"},       {"+depfile=src.arq"},               {"+deptarget=all"},
    {"+deptarget=a b$"},
};

// Hashes the lines that survive processing, and stops an endless stream of
// them through the work budget's own measure (the run stays bounded).
class DigestWriter final : public zrmackv::LineWriter {
 public:
  explicit DigestWriter(fuzz::TextDigest& digest) : digest_(digest) {}
  void write_line(std::string_view line) override { digest_.add(line); }
  void file_control(std::string_view path) override { digest_.add(path); }

 private:
  fuzz::TextDigest& digest_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * 1024) return -1;
  fuzz::Invocation inv = fuzz::decode(std::span(data, size), kOptions);
  fuzz::place_input(inv, "src");
  auto parts = fuzz::split_parts(inv.text, "\n%%\n", 3);

  fuzz::check_runs(
      [&] {
        fuzz::RunScope scope(kWorkBudget);
        auto& fs = scope.fs();
        fs.add_file("src.arq", parts[0]);
        fs.add_file("a.inc", parts[1]);
        fs.add_file("sub/b.inc", parts[2]);
        fs.add_folder("out");
        fs.add_folder("tmp");
        fuzz::MemoryStream out;
        fuzz::TextDigest digest;
        DigestWriter writer(digest);
        fuzz::Outcome outcome;
        outcome.exit_code = zrmackv::run_zrmackv(inv.args, inv.env, out.file(), &writer);
        outcome.standard_output = out.text();
        outcome.text_digest = digest.value();
        outcome.files = fs.files();
        return outcome;
      },
      {0, 1, 2, 3, 4}, fuzz::repeat_this_input(std::span(data, size)));
  return 0;
}
