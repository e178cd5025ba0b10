// Host layer: the only code that knows the operating system.
//
// The programs name files the way their home platform does: "\" separates
// directories and "X:" may start an absolute name. On a POSIX host "/" is a
// separator as well, and every name is turned into the native form only at
// the moment it is opened, created or removed.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

namespace host {

// True for "\" and "/": both separate directories on this host.
constexpr bool is_separator(char c) { return c == '\\' || c == '/'; }

// Position of the last separator in name, or npos.
std::size_t last_separator(std::string_view name);

// True for a name that starts with a separator or with a drive ("X:").
bool is_absolute(std::string_view name);

// The name with every "\" turned into "/", as the operating system wants it.
std::string to_native(std::string_view name);

// fopen/remove on the native form of name.
std::FILE* open_file(std::string_view name, const char* mode);
bool remove_file(std::string_view name);

// Writes content as the whole new file name: first into a fresh temporary
// file in the same folder, then renamed over name, so that a reader sees
// either the old file or the complete new one, and a failure leaves the old
// file as it was. false when any step fails (the temporary is removed).
bool replace_file(std::string_view name, std::string_view content);

// Creates name afresh for writing, for a file the program names itself: an
// earlier file or symbolic link of that name is removed first, and the new
// file is created exclusively, never through a link. With lock set the new
// file is locked for as long as it stays open, and a file of that name that
// another run holds locked is left alone: nullptr then, as for any failure.
std::FILE* create_file_afresh(std::string_view name, bool lock);

// True when name is an existing directory. Opening a directory for reading
// succeeds on some hosts; the programs never want one as a file.
bool is_directory(std::string_view name);

// True when both names exist and are the same file (also through different
// spellings or links).
bool same_file(std::string_view a, std::string_view b);

// The current time. A harness that compares two runs pins it with
// fix_clock so that both see the same instant; release_clock returns to the
// real clock.
std::time_t current_time();
void fix_clock(std::time_t when);
void release_clock();

// Console interrupt. The handler only sets a flag; the programs poll it.
// Blocking calls are not restarted after it: an open or read that waits
// (a pipe without a writer) fails with the flag set.
void install_interrupt_handler();
void ignore_interrupts();
bool interrupt_requested();
void request_interrupt();  // what the handler does; also used by tests
void clear_interrupt();

}  // namespace host
