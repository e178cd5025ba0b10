#include "host/host.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "host/file_system.h"
#include "host/work_budget.h"

namespace host {

namespace {
// nullptr: the operating system's files. Tested once per file operation,
// never per line or character.
FileSystem* replacement_fs = nullptr;
}  // namespace

void use_file_system(FileSystem* fs) { replacement_fs = fs; }
FileSystem* file_system_in_use() { return replacement_fs; }

std::size_t last_separator(std::string_view name) {
  for (std::size_t i = name.size(); i > 0; --i)
    if (is_separator(name[i - 1])) return i - 1;
  return std::string_view::npos;
}

bool is_absolute(std::string_view name) {
  if (!name.empty() && is_separator(name[0])) return true;
  return name.size() >= 2 && name[1] == ':';
}

std::string to_native(std::string_view name) {
  std::string native(name);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

std::FILE* open_file(std::string_view name, const char* mode) {
  if (name.empty()) return nullptr;
  if (!spend_work()) {
    errno = EMFILE;
    return nullptr;
  }
  if (replacement_fs) return replacement_fs->open(to_native(name), mode);
  return std::fopen(to_native(name).c_str(), mode);
}

bool remove_file(std::string_view name) {
  if (replacement_fs) return replacement_fs->remove(to_native(name));
  return std::remove(to_native(name).c_str()) == 0;
}

namespace {

// The permissions a newly created file gets (0666 less the umask); mkstemp
// itself creates 0600, which would hide the file from other users.
mode_t new_file_mode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool write_all(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t n = ::write(fd, content.data(), content.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// True when another open file holds the lock on the existing file name.
// Opened without following a link and without waiting (a pipe planted
// there must not block the run).
bool held_by_another_run(const std::string& native) {
  int fd = ::open(native.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}

}  // namespace

bool replace_file(std::string_view name, std::string_view content) {
  if (name.empty() || is_separator(name.back())) return false;
  std::string native = to_native(name);
  if (replacement_fs) return replacement_fs->replace(native, content);
  std::size_t sep = native.rfind('/');
  std::string folder = sep == std::string::npos ? std::string() : native.substr(0, sep + 1);
  std::string base = sep == std::string::npos ? native : native.substr(sep + 1);
  std::string temp = folder + "." + base + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, new_file_mode()) == 0 && write_all(fd, content);
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), native.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::FILE* create_file_afresh(std::string_view name, bool lock) {
  if (name.empty()) return nullptr;
  if (!spend_work()) {
    errno = EMFILE;
    return nullptr;
  }
  const std::string native = to_native(name);
  if (replacement_fs) return replacement_fs->create_afresh(native, lock);
  if (lock && held_by_another_run(native)) return nullptr;
  ::unlink(native.c_str());  // a link goes, never its target
  int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  if (lock && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);  // another run took the new file first: it is that run's
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) ::close(fd);
  return file;
}

bool is_directory(std::string_view name) {
  if (name.empty()) return false;
  if (replacement_fs) return replacement_fs->is_directory(to_native(name));
  std::error_code ec;
  return std::filesystem::is_directory(to_native(name), ec);
}

bool same_file(std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return false;
  if (replacement_fs) return replacement_fs->same_file(to_native(a), to_native(b));
  std::error_code ec;
  bool same = std::filesystem::equivalent(to_native(a), to_native(b), ec);
  return !ec && same;
}

namespace {
bool clock_fixed = false;
std::time_t fixed_time = 0;
}  // namespace

std::time_t current_time() { return clock_fixed ? fixed_time : std::time(nullptr); }

void fix_clock(std::time_t when) {
  clock_fixed = true;
  fixed_time = when;
}

void release_clock() { clock_fixed = false; }

namespace {
volatile std::sig_atomic_t interrupt_flag = 0;

extern "C" void on_interrupt(int) { interrupt_flag = 1; }

void set_interrupt_action(void (*action)(int)) {
  struct sigaction sa {};
  sa.sa_handler = action;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a waiting open or read returns at once
  sigaction(SIGINT, &sa, nullptr);
}
}  // namespace

void install_interrupt_handler() { set_interrupt_action(on_interrupt); }
void ignore_interrupts() { set_interrupt_action(SIG_IGN); }
bool interrupt_requested() { return interrupt_flag != 0; }
void request_interrupt() { interrupt_flag = 1; }
void clear_interrupt() { interrupt_flag = 0; }

}  // namespace host
