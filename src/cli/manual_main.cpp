// holescan-cli-manual MAN_PAGE COMPLETION: writes holescan-cli's manual page and its bash
// completion, both made from the option declarations that parse the command line and write
// --help, so that they never differ from the program. Run by the build.
#include <cstdio>
#include <fstream>
#include <string>

#include "cli/options.h"

namespace {

bool WriteFile(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (out) return true;
  std::fprintf(stderr, "holescan-cli-manual: cannot write %s\n", path);
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fputs("usage: holescan-cli-manual MAN_PAGE COMPLETION\n", stderr);
    return 2;
  }
  const bool written = WriteFile(argv[1], holescan::cli::ManPage()) &&
                       WriteFile(argv[2], holescan::cli::BashCompletion());
  return written ? 0 : 1;
}
