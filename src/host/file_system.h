// The file operations of the host layer as an interface, so that a run can
// be pointed at a file system other than the operating system's (an
// in-memory one for fuzzing and tests). Names arrive in native form.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace host {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // fopen semantics: nullptr (with errno set) on failure.
  virtual std::FILE* open(const std::string& name, const char* mode) = 0;
  virtual bool remove(const std::string& name) = 0;
  // Removes an earlier file of that name and creates it exclusively for
  // writing; with lock, the file stays locked while open, and a file held
  // locked is left alone (nullptr).
  virtual std::FILE* create_afresh(const std::string& name, bool lock) = 0;
  // Makes content the whole of file name in one step: a reader sees the old
  // file or the complete new one, never a part; false leaves name as it was.
  virtual bool replace(const std::string& name, std::string_view content) = 0;
  virtual bool is_directory(const std::string& name) = 0;
  virtual bool same_file(const std::string& a, const std::string& b) = 0;
};

// Routes every file operation of the host layer to fs until the next call;
// nullptr returns to the operating system's files (the default). The caller
// keeps fs alive while it is in use.
void use_file_system(FileSystem* fs);

// The file system in use: nullptr while the operating system's is.
FileSystem* file_system_in_use();

}  // namespace host
