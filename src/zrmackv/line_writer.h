// The line writer: every line that survives processing is handed to it.
// The program's own writer discards; tests plug in one that captures.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zrmackv {

class LineWriter {
 public:
  virtual ~LineWriter() = default;
  virtual void write_line(std::string_view line) = 0;
  // The current file changes to path (an include file starts); the
  // program's own writer ignores it.
  virtual void file_control(std::string_view /*path*/) {}
};

class DiscardingLineWriter final : public LineWriter {
 public:
  void write_line(std::string_view) override {}
};

class CapturingLineWriter final : public LineWriter {
 public:
  void write_line(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

}  // namespace zrmackv
