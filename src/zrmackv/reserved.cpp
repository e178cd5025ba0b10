#include "zrmackv/reserved.h"

#include <bit>
#include <cstdint>
#include <cstring>

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

// Lookups go through an index built at compile time from the same lists,
// so that a word is found with one short probe instead of hashing it into
// its bucket and comparing it along the chain. A word of at most 9 bytes is
// packed with its length into two integers: comparing the keys compares the
// words. The chains stay as the table's own layout.
struct PackedWord {
  std::uint64_t head = 0;  // bytes 1 to 8
  std::uint64_t tail = 0;  // byte 9, and the length above it
  constexpr bool operator==(const PackedWord&) const = default;
};

// Packs word (at most kMaxReservedLength bytes).
constexpr PackedWord pack(std::string_view word) {
  PackedWord key;
  const std::size_t n = word.size();
  const std::size_t in_head = n < 8 ? n : 8;
  for (std::size_t i = 0; i < in_head; ++i)
    key.head |= static_cast<std::uint64_t>(static_cast<unsigned char>(word[i])) << (8 * i);
  if (n > 8) key.tail = static_cast<unsigned char>(word[8]);
  key.tail |= static_cast<std::uint64_t>(n) << 8;
  return key;
}

// Upper-cases the ASCII letters among the eight bytes of x at once: a byte
// is a lower-case letter when it is below 0x80, at least "a" and at most
// "z"; those lose 0x20.
constexpr std::uint64_t upper_case_bytes(std::uint64_t x) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  const std::uint64_t low7 = x & ~kHigh;
  const std::uint64_t at_least_a = low7 + kOnes * (0x80 - 'a');
  const std::uint64_t above_z = low7 + kOnes * (0x80 - 'z' - 1);
  const std::uint64_t lower = at_least_a & ~above_z & ~x & kHigh;
  return x - (lower >> 2);
}

constexpr PackedWord pack_upper(std::string_view word) {
  PackedWord key = pack(word);
  key.head = upper_case_bytes(key.head);
  key.tail = (key.tail & ~std::uint64_t{0xFF}) | (upper_case_bytes(key.tail) & 0xFF);
  return key;
}

// The same key as pack_upper, for lookups at run time: the bytes are taken
// with a few wide loads (overlapping where the word is shorter than the
// load) instead of one at a time, and only the first eight go through the
// upper-casing of eight bytes at once.
inline PackedWord pack_upper_fast(std::string_view word) {
  if constexpr (std::endian::native != std::endian::little) {
    return pack_upper(word);
  } else {
    const char* p = word.data();
    const std::size_t n = word.size();
    std::uint64_t head;
    std::uint64_t tail = static_cast<std::uint64_t>(n) << 8;
    if (n >= 8) {
      std::memcpy(&head, p, 8);
      if (n > 8) tail |= static_cast<unsigned char>(to_upper(p[8]));
    } else if (n >= 4) {
      // Bytes 0-3 and n-4 to n-1; where the two overlap they are the same bytes.
      std::uint32_t low, high;
      std::memcpy(&low, p, 4);
      std::memcpy(&high, p + n - 4, 4);
      head = low | (static_cast<std::uint64_t>(high) << (8 * (n - 4)));
    } else {
      const auto byte = [p](std::size_t i) {
        return static_cast<std::uint64_t>(static_cast<unsigned char>(p[i]));
      };
      head = byte(0) | (byte(n / 2) << (8 * (n / 2))) | (byte(n - 1) << (8 * (n - 1)));
    }
    return {upper_case_bytes(head), tail};
  }
}

static_assert(pack_upper("mov.b_Z{") == pack("MOV.B_Z{"));
static_assert(pack_upper("..macpara") == pack("..MACPARA"));
static_assert(pack_upper("`az@[\xE1") == pack("`AZ@[\xE1"));

constexpr std::size_t kIndexBits = 10;  // 1024 slots for 267 words
constexpr std::size_t kIndexSize = std::size_t{1} << kIndexBits;

// One multiplication after the packing: the tail's share is ready early.
constexpr std::size_t index_slot(const PackedWord& key) {
  std::uint64_t h = (key.head + key.tail * 0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
  return static_cast<std::size_t>(h >> (64 - kIndexBits));
}

// Sixteen bytes a slot, so that the whole index stays small in the cache.
struct IndexSlot {
  std::uint64_t head = 0;
  std::uint16_t tail = 0;  // byte 9 and the length: a word has at most 9 bytes
  std::uint16_t code = 0;  // 0: the slot is free
  std::uint8_t cls = RC_NONE;  // reserved_class(code), kept so a hit needs no range tests
  constexpr bool holds(const PackedWord& key) const { return head == key.head && tail == key.tail; }
};
static_assert(sizeof(IndexSlot) == 16);

using ReservedIndex = std::array<IndexSlot, kIndexSize>;

// Inserts word unless it is there already: the first word entered wins, as
// along a chain.
constexpr void index_add(ReservedIndex& index, std::string_view word, int code) {
  PackedWord key = pack(word);
  for (std::size_t i = index_slot(key);; i = (i + 1) & (kIndexSize - 1)) {
    if (index[i].code == 0) {
      index[i] = {key.head, static_cast<std::uint16_t>(key.tail), static_cast<std::uint16_t>(code),
                  static_cast<std::uint8_t>(reserved_class(code))};
      return;
    }
    if (index[i].holds(key)) return;
  }
}

// Every group with its codes, in the order of filling.
template <typename Add>
constexpr void for_each_reserved_word(Add&& add) {
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

constexpr ReservedIndex build_index() {
  ReservedIndex index{};
  for_each_reserved_word([&](std::string_view word, int code) { index_add(index, word, code); });
  return index;
}

constexpr ReservedIndex kIndex = build_index();

template <bool UpperCase>
ReservedWord index_find(std::string_view word) {
  if (word.empty() || word.size() > kMaxReservedLength) return {};
  PackedWord key = UpperCase ? pack_upper_fast(word) : pack(word);
  for (std::size_t i = index_slot(key);; i = (i + 1) & (kIndexSize - 1)) {
    const IndexSlot& slot = kIndex[i];
    if (slot.code == 0) return {};
    if (slot.holds(key)) return {slot.cls, slot.code};
  }
}

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
  for_each_reserved_word([this](std::string_view word, int code) { add(word, code); });
}

ReservedWord ReservedTable::find(std::string_view upper_word) const {
  if (entries_.empty()) return {};
  return index_find<false>(upper_word);
}

ReservedWord ReservedTable::chain_find(std::string_view upper_word) const {
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
  if (run.reserved.size() == 0) return {};
  return index_find<true>(word);
}

}  // namespace zrmackv
