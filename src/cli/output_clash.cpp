#include "cli/output_clash.h"

#include <sys/stat.h>

#include <filesystem>
#include <vector>

namespace holescan::cli {

std::optional<std::string> OutputClash(const Options& o) {
  namespace fs = std::filesystem;
  struct Named {
    std::string what;  // "--report r.txt" or "the picture a.bmp"
    std::string key;
  };
  // An existing file by device and inode; a file still to be made by its full name.
  const auto keyOf = [](const std::string& path, bool mayBeNew) -> std::optional<std::string> {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
      if (!S_ISREG(status.st_mode)) return std::nullopt;
      return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    }
    if (!mayBeNew) return std::nullopt;  // a picture that is not there is not overwritten
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    const fs::path canonical = fs::weakly_canonical(absolute, error);
    return (error ? absolute : canonical).string();
  };
  std::vector<Named> pictures;
  for (const std::string& picture : o.pictures) {
    if (auto key = keyOf(picture, false)) pictures.push_back({"the picture " + picture, *key});
  }
  std::vector<Named> written;
  for (const std::string& picture : o.pictures) {
    for (const results::Output* output : OutputOptions()) {
      const std::string& pattern = o.File(*output);
      if (pattern.empty() || pattern == kStandardOutput) continue;
      const std::string file = ExpandName(pattern, picture);
      const std::string what = std::string(output->option) + " " + file;
      const auto key = keyOf(file, true);
      if (!key) continue;
      for (const Named& input : pictures) {
        if (input.key == *key) return what + " names " + input.what + ": it would be overwritten";
      }
      bool same = false;
      for (const Named& other : written) {
        if (other.key != *key) continue;
        if (other.what == what) {
          same = true;  // one file collecting every picture
          break;
        }
        return what + " and " + other.what + " name the same file";
      }
      if (!same) written.push_back({what, *key});
    }
  }
  return std::nullopt;
}

}  // namespace holescan::cli
