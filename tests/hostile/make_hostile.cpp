// make_hostile FOLDER - writes the hostile picture set into FOLDER (created when missing,
// which must be empty) and lists one case a line: path, a TAB, and what the loader must say.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "hostile_files.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_hostile FOLDER\n");
    return 2;
  }
  try {
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const holescan::hostile::HostileCase& c : holescan::hostile::WriteHostileFiles(folder)) {
      const std::filesystem::path path = folder / c.name;  // an absolute name stays as it is
      const std::string outcome =
          c.expect == holescan::hostile::Expect::Refused
              ? c.reason
              : std::to_string(c.width) + " x " + std::to_string(c.height) + " pixels";
      std::printf("%s\t%s\n", path.c_str(), outcome.c_str());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_hostile: %s\n", error.what());
    return 1;
  }
  return 0;
}
