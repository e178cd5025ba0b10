// A file system held in memory: files and folders in a map, opened as real
// FILE streams (fopencookie), so the programs read and write them through
// the ordinary stdio calls. A run on it writes nothing to disk and sees only
// what was put into it. Names resolve like the operating system's: relative
// to a working folder, "." and ".." by component, every folder on the way
// must exist, a component is at most 255 bytes.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/file_system.h"

namespace host {

class MemoryFileSystem final : public FileSystem {
 public:
  // working_folder must be absolute; it and its parents are created.
  explicit MemoryFileSystem(std::string_view working_folder = "/work");
  ~MemoryFileSystem() override;

  // Creates (or replaces) a file, creating the folders above it.
  void add_file(std::string_view name, std::string_view content);
  void add_folder(std::string_view name);

  // The content of a file, or nothing when name is no file.
  std::optional<std::string> content(std::string_view name) const;
  // Every file as (absolute name, content), sorted by name.
  std::vector<std::pair<std::string, std::string>> files() const;

  // The total size all files may reach; a write past it fails (ENOSPC).
  void set_capacity(std::size_t bytes);

  std::FILE* open(const std::string& name, const char* mode) override;
  bool remove(const std::string& name) override;
  std::FILE* create_afresh(const std::string& name, bool lock) override;
  bool replace(const std::string& name, std::string_view content) override;
  bool is_directory(const std::string& name) override;
  bool same_file(const std::string& a, const std::string& b) override;

  struct Node;
  struct Space;

 private:
  struct Resolved;
  std::optional<Resolved> resolve(std::string_view name) const;
  std::shared_ptr<Node> find(std::string_view name) const;
  std::FILE* open_stream(std::shared_ptr<Node> node, const char* mode, bool lock);

  std::string working_folder_;
  std::map<std::string, std::shared_ptr<Node>, std::less<>> nodes_;
  std::shared_ptr<Space> space_;
};

}  // namespace host
