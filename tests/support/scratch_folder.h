// scratch_folder.h - a fresh folder under the system's temporary folder for a test's files,
// removed afterwards; and whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/bytes.h"

namespace holescan::testing {

// Writes `bytes` to `path`; throws std::runtime_error when it cannot.
void WriteFile(const std::filesystem::path& path, const Bytes& bytes);
// The whole file, or nothing when it cannot be read.
Bytes ReadFile(const std::filesystem::path& path);

// Owns a new folder "<temp>/holescan-<stem>-XXXXXX"; removed with everything in it.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& stem = "test");
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder();
  const std::filesystem::path& Get() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A test fixture with a scratch folder.
class ScratchFolder : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::string Write(const std::string& name, const Bytes& bytes) {
    WriteFile(folder_ / name, bytes);
    return Path(name);
  }

  TemporaryFolder scratch_;
  const std::filesystem::path& folder_ = scratch_.Get();
};

}  // namespace holescan::testing
