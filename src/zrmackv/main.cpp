// zrmackv: the assembler macro processor.
#include <cstdio>
#include <string>
#include <vector>

#include "host/host.h"
#include "zrmackv/zrmackv.h"

extern char** environ;

int main(int argc, char** argv) {
  host::install_interrupt_handler();
  std::vector<std::string> args(argv + 1, argv + argc);
  zrmackv::Environment env;
  for (char** e = environ; *e; ++e) {
    std::string entry(*e);
    std::size_t eq = entry.find('=');
    if (eq != std::string::npos) env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
  }
  return zrmackv::run_zrmackv(args, env, stdout, nullptr, argv[0] ? argv[0] : "zrmackv");
}
