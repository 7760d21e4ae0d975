#include "support/scratch_folder.h"

#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <system_error>

namespace holescan::testing {

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TemporaryFolder::TemporaryFolder(const std::string& stem) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / ("holescan-" + stem + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("cannot make a folder like " + pattern);
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace holescan::testing
