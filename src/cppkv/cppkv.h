// Public entry of the C preprocessor.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace cppkv {

using Environment = std::map<std::string, std::string>;

// The two primitive writers of the preprocessed-text channel (put_char and
// put_text). Each returns the character or a non-negative value on success
// and -1 on failure. The program's own sink discards everything; tests plug
// in a capturing sink to see the produced text exactly.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual int put_char(int c) = 0;
  virtual int put_text(std::string_view text) = 0;
};

class DiscardingSink final : public TextSink {
 public:
  int put_char(int c) override { return c & 0xFF; }
  int put_text(std::string_view) override { return 0; }
};

class CapturingSink final : public TextSink {
 public:
  int put_char(int c) override {
    text.push_back(static_cast<char>(c));
    return c & 0xFF;
  }
  int put_text(std::string_view t) override {
    text.append(t);
    return 0;
  }
  std::string text;
};

// Runs one whole preprocessor run: args are the arguments after the program
// name, env the environment, in standard input (read when no input file is
// named), out standard output, err standard error. The preprocessed text goes
// to sink (nullptr: the discarding sink). Returns the exit code.
int run_cppkv(const std::vector<std::string>& args, const Environment& env, std::FILE* in,
              std::FILE* out, std::FILE* err, TextSink* sink = nullptr);

}  // namespace cppkv
