// Reserved-word table: every register, flag, mnemonic, directive, macro
// directive, string function, conditional directive and macro-time symbol of
// the target's assembler language. A word's code range gives its class.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "zrmackv/name_hash.h"

namespace zrmackv {

struct Run;

// Classes of reserved words; RC_NONE for a word that is not reserved.
enum ReservedClass : int {
  RC_NONE = 0,
  RC_REGISTER,          // 1-33
  RC_FLAG,              // 51-59
  RC_MNEMONIC,          // 100-268
  RC_DIRECTIVE,         // 600-643
  RC_MACRO_DIRECTIVE,   // 700-705
  RC_STRING_FUNCTION,   // 800-802
  RC_CONDITIONAL,       // 850-853
  RC_MACRO_TIME,        // 900-902
};

// Directive codes, in table order from 600.
enum DirectiveCode : int {
  D_ASSERT = 600, D_INCLUDE, D_LIST, D_ADDR, D_ALIGN, D_BLKA, D_BLKB, D_BLKW, D_BLKL,
  D_BLKD, D_BLKF, D_BTEQU, D_BTGLB, D_BYTE, D_COMM, D_END, D_EQU, D_DOUBLE, D_FB,
  D_FBSYM, D_FLOAT, D_FORM, D_GLB, D_LWORD, D_OPTJ, D_ORG, D_PAGE, D_SB, D_SBSYM,
  D_SECTION, D_VER, D_WORD, D_SBBIT, D_DEFINE, D_LANG, D_FILE, D_LINE, D_LTYPE,
  D_BLOCK, D_EBLOCK, D_FUNC, D_EFUNC, D_TYPE, D_VAR,  // 643
};

enum MacroDirectiveCode : int {
  MD_MACRO = 700, MD_LOCAL, MD_EXITM, MD_ENDM, MD_MREPEAT, MD_ENDR,
};

enum StringFunctionCode : int { SF_LEN = 800, SF_INSTR, SF_SUBSTR };

enum ConditionalCode : int { CD_IF = 850, CD_ELIF, CD_ELSE, CD_ENDIF };

enum MacroTimeCode : int { MT_MACPARA = 900, MT_MACREP, MT_FILE };

// The class a code belongs to.
constexpr int reserved_class(int code) {
  if (code >= 1 && code <= 33) return RC_REGISTER;
  if (code >= 51 && code <= 59) return RC_FLAG;
  if (code >= 100 && code <= 268) return RC_MNEMONIC;
  if (code >= 600 && code <= 643) return RC_DIRECTIVE;
  if (code >= 700 && code <= 705) return RC_MACRO_DIRECTIVE;
  if (code >= 800 && code <= 802) return RC_STRING_FUNCTION;
  if (code >= 850 && code <= 853) return RC_CONDITIONAL;
  if (code >= 900 && code <= 902) return RC_MACRO_TIME;
  return RC_NONE;
}

// The mnemonic code of an upper-case mnemonic, 0 when it is none.
int mnemonic_code(std::string_view upper_word);

struct ReservedWord {
  int cls = RC_NONE;
  int code = 0;
};

// The table itself: 251 buckets, chains in order of insertion, filled once.
class ReservedTable {
 public:
  // Fills the table group by group; a second call changes nothing.
  void load();
  // The class and code of an upper-case word; RC_NONE when not reserved.
  ReservedWord find(std::string_view upper_word) const;
  std::size_t size() const { return entries_.size(); }
  // The same lookup walking the word's bucket chain (find goes through a
  // faster index and must agree with it).
  ReservedWord chain_find(std::string_view upper_word) const;
  // The word of the i-th entry in order of filling.
  std::string_view word(std::size_t i) const { return entries_[i].word; }
  // Number of entries chained in one bucket (for tests of the layout).
  std::size_t bucket_length(unsigned bucket) const;

 private:
  struct Entry {
    std::string_view word;
    int code;
    int next;  // index of the next entry of the bucket, -1 at the end
  };
  void add(std::string_view word, int code);

  std::vector<Entry> entries_;
  std::array<int, kHashBuckets> heads_{};
  std::array<int, kHashBuckets> tails_{};
};

// Longest reserved word; a longer word is never reserved.
constexpr std::size_t kMaxReservedLength = 9;

// Fills the run's reserved-word table (run set-up).
void load_reserved_words(Run& run);

// Looks up a word that the caller has already converted to upper case.
ReservedWord reserved_find(const Run& run, std::string_view upper_word);

// Converts word to upper case and looks it up; words of any length and any
// bytes are accepted.
ReservedWord reserved_find_any_case(const Run& run, std::string_view word);

// True when the word, in upper case, is any reserved word.
inline bool is_reserved(const Run& run, std::string_view word) {
  return reserved_find_any_case(run, word).cls != RC_NONE;
}

}  // namespace zrmackv
