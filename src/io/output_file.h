// output_file.h - files that are written whole or not at all.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace holescan {

inline constexpr char kStandardOutput[] = "-";

// A file written whole or not at all. A regular file (new, or replacing one, or the one a
// symbolic link names) is written to a scratch file beside it and renamed over it by
// Commit: a run killed while writing, a full disc or two runs writing the same file leave
// the old file whole, never a mixture. The replaced file's permission bits are kept. A
// device or FIFO that exists (/dev/null) is written straight unless `devices` is
// Devices::Refuse; standard output is "-". An OutputFile destroyed without a Commit leaves
// the target as it was.
class OutputFile {
 public:
  enum class Devices { Write, Refuse };
  explicit OutputFile(std::string path, Devices devices = Devices::Write);
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Empty when the file is open; otherwise "cannot write PATH: reason".
  const std::string& OpenError() const { return openError_; }
  bool IsOpen() const { return stream_ != nullptr; }
  std::FILE* Stream() { return stream_; }

  void Write(std::string_view bytes);
  void WriteLine(std::string_view line) {
    Write(line);
    Write("\n");
  }
  // Flushes, closes and puts the file in place; "cannot write PATH: reason" on the first
  // error met since opening (the target is then left as it was).
  std::optional<std::string> Commit();
  // Closes and removes what was written; the target is left as it was.
  void Discard();

 private:
  std::string Failure(int error) const;

  std::string path_;     // as the user gave it, for messages
  std::string target_;   // what the rename replaces (the file a link names)
  std::string scratch_;  // empty when writing straight into the target
  std::FILE* stream_ = nullptr;
  std::string openError_;
  int error_ = 0;
  std::optional<mode_t> keepMode_;
};

}  // namespace holescan
