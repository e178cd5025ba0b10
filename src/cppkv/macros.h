// The macro table, as far as the driver and the directive engine need it
// before macro expansion exists: definitions with their bodies, the reserved
// predefined names, and the redefinition warnings of #define.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace cppkv {

struct Run;

struct MacroEntry {
  std::string body;
  bool reserved = false;       // predefined (__LINE__, __FILE__, __DATE__, __TIME__)
  bool function_like = false;
};

// Lookup by string_view without making a string.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
};

struct MacroTable {
  std::unordered_map<std::string, MacroEntry, NameHash, std::equal_to<>> entries;
  std::string date;  // "Mmm dd yyyy", taken once when the table is created
  std::string time;  // "hh:mm:ss"
};

// Creates the table with the predefined macros, marked reserved.
void create_macro_table(Run& run);

// Enters an object-like definition as #define does: a reserved entry warns
// "reserved id used", a different body warns "redefined" with the name, an
// equal body is kept silently.
void define_macro(Run& run, std::string_view name, std::string_view body);

// Removes a definition ("reserved id used" first for a predefined one); an
// unknown name is accepted silently.
void undefine_macro(Run& run, std::string_view name);

bool is_defined(const Run& run, std::string_view name);

// The value of a predefined macro (__LINE__, __FILE__ with the current
// file's base name in quotes, __DATE__, __TIME__ in quotes); false for any
// other name.
bool predefined_value(const Run& run, std::string_view name, std::string& value);

// Expands a whole text without reading further lines (expressions, #error text,
// arguments); false after a reported error such as "macro argument error".
bool expand_text(Run& run, std::string_view text, std::string& out);

}  // namespace cppkv
