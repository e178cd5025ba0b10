#include "zrmackv/reserved.h"

#include "zrmackv/run.h"

namespace zrmackv {

namespace {

// Registers, codes 1 to 33; code 22 has no word.
constexpr std::array<std::string_view, 32> kRegisters = {
    "R0",   "R1",   "R2",   "R3",   "R0L",  "R0H",  "R1L",  "R1H",  "R2R0", "R3R1", "A0",
    "A1",   "SB",   "FB",   "INTB", "ISP",  "FLG",  "SVF",  "SVP",  "VCT",  "DMD0", "DCT0",
    "DCT1", "DRC0", "DRC1", "DMA0", "DMA1", "DSA0", "DSA1", "DRA0", "DRA1", "SP",
};

// Flag names, codes 51 to 59.
constexpr std::array<std::string_view, 9> kFlags = {"IPL", "U", "I", "O", "B",
                                                    "S",   "Z", "D", "C"};

// Mnemonics, codes from 100 in this order.
constexpr std::array<std::string_view, 166> kMnemonics = {
    "ABS",     "ADC",     "ADCF",    "ADD",     "ADDA",    "ADDX",    "ADJNZ",   "AND",
    "BAND",    "BCLR",    "BITINDEX", "BMC",    "BMEQ",    "BMGE",    "BMGEU",   "BMGT",
    "BMGTU",   "BMLE",    "BMLEU",   "BMLT",    "BMLTU",   "BMN",     "BMNC",    "BMNE",
    "BMNO",    "BMNZ",    "BMPZ",    "BMZ",     "BNAND",   "BNOR",    "BNOT",    "BNTST",
    "BTST",    "BNXOR",   "BOR",     "BRK",     "BRK2",    "BSET",    "BTSTC",   "BTSTS",
    "BXOR",    "CLIP",    "CMP",     "CMPX",    "DADC",    "DADD",    "DEC",     "DIV",
    "DIVU",    "DIVX",    "DSBB",    "DSUB",    "ENTER",   "EXITD",   "EXTS",    "EXTZ",
    "FCLR",    "FREIT",   "FSET",    "INC",     "INDEXB",  "INDEXBD", "INDEXBS", "INDEXL",
    "INDEXLD", "INDEXLS", "INDEXW",  "INDEXWD", "INDEXWS", "INDIR",   "INDIRD",  "INDIRS",
    "INT",     "INTO",    "JEQ",     "JGEU",    "JGE",     "JGT",     "JGTU",    "JLE",
    "JLEU",    "JLT",     "JLTU",    "JMP",     "JMPI",    "JMPS",    "JN",      "JNE",
    "JNO",     "JO",      "JPZ",     "JSR",     "JSRI",    "JSRS",    "LDC",     "LDCTX",
    "LDIPL",   "MAX",     "MIN",     "MOV",     "MOVA",    "MOVHH",   "MOVHL",   "MOVLH",
    "MOVLL",   "MOVX",    "MUL",     "MULEX",   "MULU",    "NEG",     "NOP",     "NOT",
    "OR",      "POP",     "POPC",    "POPM",    "PUSH",    "PUSHA",   "PUSHC",   "PUSHM",
    "REIT",    "RMPA",    "ROLC",    "RORC",    "ROT",     "RTS",     "SBB",     "SBJNZ",
    "SCC",     "SCEQ",    "SCGE",    "SCGEU",   "SCGT",    "SCGTU",   "SCLE",    "SCLEU",
    "SCLT",    "SCLTU",   "SCMPU",   "SCN",     "SCNC",    "SCNE",    "SCNO",    "SCNZ",
    "SCPZ",    "SCZ",     "SHA",     "SHL",     "SIN",     "SMOVB",   "SMOVF",   "SMOVU",
    "SOUT",    "SSTR",    "STC",     "STCTX",   "STNZ",    "STZ",     "STZX",    "SUB",
    "SUBX",    "TST",     "UND",     "WAIT",    "XCHG",    "XOR",
};

// Directives, codes 600 to 643 in this order.
constexpr std::array<std::string_view, 44> kDirectives = {
    ".ASSERT", ".INCLUDE", ".LIST",   ".ADDR",   ".ALIGN",   ".BLKA",   ".BLKB", ".BLKW",
    ".BLKL",   ".BLKD",    ".BLKF",   ".BTEQU",  ".BTGLB",   ".BYTE",   ".COMM", ".END",
    ".EQU",    ".DOUBLE",  ".FB",     ".FBSYM",  ".FLOAT",   ".FORM",   ".GLB",  ".LWORD",
    ".OPTJ",   ".ORG",     ".PAGE",   ".SB",     ".SBSYM",   ".SECTION", ".VER", ".WORD",
    ".SBBIT",  ".DEFINE",  "._LANG",  "._FILE",  "._LINE",   "._LTYPE", "._BLOCK", "._EBLOCK",
    "._FUNC",  "._EFUNC",  "._TYPE",  "._VAR",
};

constexpr std::array<std::string_view, 6> kMacroDirectives = {
    ".MACRO", ".LOCAL", ".EXITM", ".ENDM", ".MREPEAT", ".ENDR"};

constexpr std::array<std::string_view, 3> kStringFunctions = {".LEN", ".INSTR", ".SUBSTR"};

constexpr std::array<std::string_view, 4> kConditionals = {".IF", ".ELIF", ".ELSE", ".ENDIF"};

constexpr std::array<std::string_view, 3> kMacroTime = {"..MACPARA", "..MACREP", "..FILE"};

static_assert(kDirectives.size() == D_VAR - D_ASSERT + 1);
static_assert(reserved_class(100 + kMnemonics.size() - 1) == RC_MNEMONIC);

constexpr std::size_t longest_word() {
  std::size_t n = 0;
  for (auto w : kRegisters) n = w.size() > n ? w.size() : n;
  for (auto w : kMnemonics) n = w.size() > n ? w.size() : n;
  for (auto w : kDirectives) n = w.size() > n ? w.size() : n;
  for (auto w : kMacroDirectives) n = w.size() > n ? w.size() : n;
  for (auto w : kMacroTime) n = w.size() > n ? w.size() : n;
  return n;
}
static_assert(longest_word() == kMaxReservedLength);

constexpr char to_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

int mnemonic_code(std::string_view upper_word) {
  for (std::size_t i = 0; i < kMnemonics.size(); ++i)
    if (kMnemonics[i] == upper_word) return 100 + static_cast<int>(i);
  return 0;
}

void ReservedTable::add(std::string_view word, int code) {
  unsigned bucket = name_hash(word);
  int index = static_cast<int>(entries_.size());
  entries_.push_back({word, code, -1});
  if (heads_[bucket] < 0)
    heads_[bucket] = index;
  else
    entries_[static_cast<std::size_t>(tails_[bucket])].next = index;
  tails_[bucket] = index;
}

void ReservedTable::load() {
  if (!entries_.empty()) return;
  heads_.fill(-1);
  tails_.fill(-1);
  entries_.reserve(kRegisters.size() + kFlags.size() + kMnemonics.size() + kDirectives.size() +
                   kMacroDirectives.size() + kStringFunctions.size() + kConditionals.size() +
                   kMacroTime.size());
  for (std::size_t i = 0; i < kRegisters.size(); ++i)
    add(kRegisters[i], static_cast<int>(i < 21 ? i + 1 : i + 2));  // 22 is unused
  for (std::size_t i = 0; i < kFlags.size(); ++i) add(kFlags[i], 51 + static_cast<int>(i));
  for (std::size_t i = 0; i < kMnemonics.size(); ++i) add(kMnemonics[i], 100 + static_cast<int>(i));
  for (std::size_t i = 0; i < kDirectives.size(); ++i) add(kDirectives[i], D_ASSERT + static_cast<int>(i));
  for (std::size_t i = 0; i < kMacroDirectives.size(); ++i)
    add(kMacroDirectives[i], MD_MACRO + static_cast<int>(i));
  for (std::size_t i = 0; i < kStringFunctions.size(); ++i)
    add(kStringFunctions[i], SF_LEN + static_cast<int>(i));
  for (std::size_t i = 0; i < kConditionals.size(); ++i) add(kConditionals[i], CD_IF + static_cast<int>(i));
  for (std::size_t i = 0; i < kMacroTime.size(); ++i) add(kMacroTime[i], MT_MACPARA + static_cast<int>(i));
}

ReservedWord ReservedTable::find(std::string_view upper_word) const {
  if (entries_.empty() || upper_word.size() > kMaxNameLength) return {};
  for (int i = heads_[name_hash(upper_word)]; i >= 0;) {
    const Entry& e = entries_[static_cast<std::size_t>(i)];
    if (e.word == upper_word) return {reserved_class(e.code), e.code};
    i = e.next;
  }
  return {};
}

std::size_t ReservedTable::bucket_length(unsigned bucket) const {
  std::size_t n = 0;
  if (entries_.empty() || bucket >= kHashBuckets) return 0;
  for (int i = heads_[bucket]; i >= 0; i = entries_[static_cast<std::size_t>(i)].next) ++n;
  return n;
}

void load_reserved_words(Run& run) { run.reserved.load(); }

ReservedWord reserved_find(const Run& run, std::string_view upper_word) {
  return run.reserved.find(upper_word);
}

ReservedWord reserved_find_any_case(const Run& run, std::string_view word) {
  if (word.empty() || word.size() > kMaxReservedLength) return {};
  char upper[kMaxReservedLength];
  for (std::size_t i = 0; i < word.size(); ++i) upper[i] = to_upper(word[i]);
  return run.reserved.find(std::string_view(upper, word.size()));
}

}  // namespace zrmackv
