#include "host/memory_file_system.h"

#include <cerrno>
#include <cstring>
#include <sys/types.h>

namespace host {

struct MemoryFileSystem::Node {
  bool folder = false;
  std::string data;
  bool locked = false;  // a stream that holds the lock is open
};

// Bytes held by all files and the most they may hold; shared with the open
// streams, which may outlive a removed file's entry.
struct MemoryFileSystem::Space {
  std::size_t used = 0;
  std::size_t capacity = 64u << 20;
};

// An absolute name made of existing folders, with the last component not yet
// looked up. must_be_folder: the name ended in a separator.
struct MemoryFileSystem::Resolved {
  std::string path;
  bool must_be_folder = false;
};

namespace {

constexpr std::size_t kMaxComponent = 255;
constexpr std::size_t kMaxPath = 4095;

struct Stream {
  std::shared_ptr<MemoryFileSystem::Node> node;
  std::shared_ptr<MemoryFileSystem::Space> space;
  std::size_t pos = 0;
  bool readable = false;
  bool writable = false;
  bool append = false;
  bool holds_lock = false;
};

ssize_t stream_read(void* cookie, char* buf, std::size_t size) {
  auto* s = static_cast<Stream*>(cookie);
  if (!s->readable) {
    errno = EBADF;
    return -1;
  }
  if (s->node->folder) {
    errno = EISDIR;
    return -1;
  }
  const std::string& data = s->node->data;
  if (s->pos >= data.size()) return 0;
  std::size_t n = std::min(size, data.size() - s->pos);
  std::memcpy(buf, data.data() + s->pos, n);
  s->pos += n;
  return static_cast<ssize_t>(n);
}

ssize_t stream_write(void* cookie, const char* buf, std::size_t size) {
  auto* s = static_cast<Stream*>(cookie);
  std::string& data = s->node->data;
  if (s->append) s->pos = data.size();
  std::size_t end = s->pos + size;
  std::size_t growth = end > data.size() ? end - data.size() : 0;
  if (s->space->used + growth > s->space->capacity) {
    errno = ENOSPC;
    return 0;
  }
  if (growth) data.resize(end);
  std::memcpy(data.data() + s->pos, buf, size);
  s->space->used += growth;
  s->pos = end;
  return static_cast<ssize_t>(size);
}

int stream_seek(void* cookie, off64_t* offset, int whence) {
  auto* s = static_cast<Stream*>(cookie);
  off64_t base = whence == SEEK_SET ? 0
                 : whence == SEEK_CUR ? static_cast<off64_t>(s->pos)
                                      : static_cast<off64_t>(s->node->data.size());
  off64_t target = base + *offset;
  if (target < 0) {
    errno = EINVAL;
    return -1;
  }
  s->pos = static_cast<std::size_t>(target);
  *offset = target;
  return 0;
}

int stream_close(void* cookie) {
  auto* s = static_cast<Stream*>(cookie);
  if (s->holds_lock) s->node->locked = false;
  delete s;
  return 0;
}

bool valid_mode(const char* mode) {
  if (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a') return false;
  for (const char* m = mode + 1; *m; ++m)
    if (*m != 'b' && *m != '+' && *m != 'x' && *m != 'e') return false;
  return true;
}

std::string parent_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

MemoryFileSystem::MemoryFileSystem(std::string_view working_folder)
    : working_folder_(working_folder), space_(std::make_shared<Space>()) {
  nodes_["/"] = std::make_shared<Node>(Node{true, {}});
  add_folder(working_folder_);
}

MemoryFileSystem::~MemoryFileSystem() = default;

std::optional<MemoryFileSystem::Resolved> MemoryFileSystem::resolve(std::string_view name) const {
  if (name.empty()) {
    errno = ENOENT;
    return std::nullopt;
  }
  if (name.size() > kMaxPath) {
    errno = ENAMETOOLONG;
    return std::nullopt;
  }
  Resolved r;
  r.path = name[0] == '/' ? "/" : working_folder_;
  r.must_be_folder = name.back() == '/';
  std::string_view rest = name;
  std::string pending;  // last component, checked only by the caller
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part.size() > kMaxComponent) {
      errno = ENAMETOOLONG;
      return std::nullopt;
    }
    // Everything before this component must be an existing folder.
    if (!pending.empty()) {
      r.path += (r.path == "/" ? "" : "/") + pending;
      pending.clear();
      auto it = nodes_.find(r.path);
      if (it == nodes_.end() || !it->second->folder) {
        errno = it == nodes_.end() ? ENOENT : ENOTDIR;
        return std::nullopt;
      }
    }
    if (part == "..") {
      r.path = parent_of(r.path);
      continue;
    }
    pending = part;
  }
  if (!pending.empty()) r.path += (r.path == "/" ? "" : "/") + pending;
  return r;
}

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::find(std::string_view name) const {
  auto r = resolve(name);
  if (!r) return nullptr;
  auto it = nodes_.find(r->path);
  if (it == nodes_.end()) {
    errno = ENOENT;
    return nullptr;
  }
  if (r->must_be_folder && !it->second->folder) {
    errno = ENOTDIR;
    return nullptr;
  }
  return it->second;
}

void MemoryFileSystem::add_folder(std::string_view name) {
  std::string path = name[0] == '/' ? std::string() : working_folder_;
  std::string_view rest = name;
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty()) continue;
    path += '/';
    path += part;
    auto& node = nodes_[path];
    if (!node) node = std::make_shared<Node>(Node{true, {}});
  }
}

void MemoryFileSystem::add_file(std::string_view name, std::string_view content) {
  std::size_t slash = name.rfind('/');
  if (slash != std::string_view::npos && slash > 0) add_folder(name.substr(0, slash));
  std::string path(name);
  if (path[0] != '/') path = working_folder_ + "/" + path;
  auto& node = nodes_[path];
  if (node) space_->used -= node->data.size();
  node = std::make_shared<Node>(Node{false, std::string(content)});
  space_->used += content.size();
}

std::optional<std::string> MemoryFileSystem::content(std::string_view name) const {
  auto node = find(name);
  if (!node || node->folder) return std::nullopt;
  return node->data;
}

std::vector<std::pair<std::string, std::string>> MemoryFileSystem::files() const {
  std::vector<std::pair<std::string, std::string>> all;
  for (const auto& [path, node] : nodes_)
    if (!node->folder) all.emplace_back(path, node->data);
  return all;
}

void MemoryFileSystem::set_capacity(std::size_t bytes) { space_->capacity = bytes; }

std::FILE* MemoryFileSystem::open(const std::string& name, const char* mode) {
  if (!valid_mode(mode)) {
    errno = EINVAL;
    return nullptr;
  }
  auto r = resolve(name);
  if (!r) return nullptr;
  const bool update = std::strchr(mode, '+') != nullptr;
  const bool exclusive = std::strchr(mode, 'x') != nullptr;
  auto it = nodes_.find(r->path);
  std::shared_ptr<Node> node = it == nodes_.end() ? nullptr : it->second;
  if (node && r->must_be_folder && !node->folder) {
    errno = ENOTDIR;
    return nullptr;
  }
  if (mode[0] == 'r') {
    if (!node) {
      errno = ENOENT;
      return nullptr;
    }
    if (node->folder && update) {
      errno = EISDIR;
      return nullptr;
    }
  } else {
    if (node && node->folder) {
      errno = EISDIR;
      return nullptr;
    }
    if (node && exclusive) {
      errno = EEXIST;
      return nullptr;
    }
    if (!node) {
      if (r->must_be_folder) {
        errno = EISDIR;
        return nullptr;
      }
      node = std::make_shared<Node>();
      nodes_[r->path] = node;
    } else if (mode[0] == 'w') {
      space_->used -= node->data.size();
      node->data.clear();
    }
  }
  return open_stream(node, mode, false);
}

std::FILE* MemoryFileSystem::open_stream(std::shared_ptr<Node> node, const char* mode, bool lock) {
  const bool update = std::strchr(mode, '+') != nullptr;
  auto* stream = new Stream{node, space_, 0, mode[0] == 'r' || update, mode[0] != 'r' || update,
                            mode[0] == 'a', lock};
  cookie_io_functions_t io{stream_read, stream_write, stream_seek, stream_close};
  std::FILE* f = fopencookie(stream, mode[0] == 'r' && !update ? "r" : mode[0] == 'a' ? "a+" : "w+", io);
  if (!f) {
    delete stream;
    return nullptr;
  }
  if (lock) node->locked = true;
  return f;
}

std::FILE* MemoryFileSystem::create_afresh(const std::string& name, bool lock) {
  auto r = resolve(name);
  if (!r) return nullptr;
  auto it = nodes_.find(r->path);
  if (it != nodes_.end()) {
    if (it->second->folder) {
      errno = EISDIR;
      return nullptr;
    }
    if (lock && it->second->locked) {
      errno = EWOULDBLOCK;
      return nullptr;
    }
    remove(name);
  }
  if (r->must_be_folder) {
    errno = EISDIR;
    return nullptr;
  }
  auto node = std::make_shared<Node>();
  nodes_[r->path] = node;
  return open_stream(node, "wb", lock);
}

bool MemoryFileSystem::remove(const std::string& name) {
  auto r = resolve(name);
  if (!r) return false;
  auto it = nodes_.find(r->path);
  if (it == nodes_.end()) {
    errno = ENOENT;
    return false;
  }
  if (it->second->folder) {
    // remove() deletes an empty folder only.
    auto next = nodes_.upper_bound(r->path + "/");
    bool has_children = next != nodes_.end() && next->first.compare(0, r->path.size() + 1, r->path + "/") == 0;
    if (has_children || r->path == "/") {
      errno = ENOTEMPTY;
      return false;
    }
  } else {
    if (r->must_be_folder) {
      errno = ENOTDIR;
      return false;
    }
    space_->used -= it->second->data.size();
  }
  nodes_.erase(it);
  return true;
}

bool MemoryFileSystem::replace(const std::string& name, std::string_view content) {
  auto r = resolve(name);
  if (!r) return false;
  auto it = nodes_.find(r->path);
  if (r->must_be_folder || (it != nodes_.end() && it->second->folder)) {
    errno = EISDIR;
    return false;
  }
  std::size_t freed = it == nodes_.end() ? 0 : it->second->data.size();
  if (space_->used - freed + content.size() > space_->capacity) {
    errno = ENOSPC;
    return false;
  }
  space_->used = space_->used - freed + content.size();
  // A new node: streams still open on the old file keep reading the old one.
  nodes_[r->path] = std::make_shared<Node>(Node{false, std::string(content)});
  return true;
}

bool MemoryFileSystem::is_directory(const std::string& name) {
  auto node = find(name);
  return node && node->folder;
}

bool MemoryFileSystem::same_file(const std::string& a, const std::string& b) {
  auto na = find(a);
  auto nb = find(b);
  return na && na == nb;
}

}  // namespace host
