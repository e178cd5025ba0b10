// cppkv: the C preprocessor.
#include <cstdio>
#include <string>
#include <vector>

#include "cppkv/cppkv.h"

extern char** environ;

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  cppkv::Environment env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    std::size_t eq = entry.find('=');
    if (eq != std::string::npos) env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
  }
  return cppkv::run_cppkv(args, env, stdin, stdout, stderr);
}
