// file_reading.h - opening a picture file for reading: regular files only, never a device
// or a FIFO (whose opening alone can block or have effects), and noticing a file that
// changes while it is read.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace holescan {

// "no such file", "permission denied", or the system's own message, lowercase.
std::string OpenFailureReason(int error);

// An open file for reading, or the reason there is none. Closes its descriptor.
class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(OpenedFile&& other) noexcept;
  OpenedFile& operator=(OpenedFile&& other) noexcept;
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile();

  bool Ok() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }
  std::int64_t Size() const { return size_; }
  const std::string& Reason() const { return reason_; }
  // Whether the file's size or modification time differ from when it was opened (or it
  // can no longer be asked): what was read of it may mix old and new bytes.
  bool Changed() const;

 private:
  friend OpenedFile OpenPictureFile(const std::string& path);
  friend OpenedFile MemoryFile(std::string_view bytes);
  static OpenedFile Refused(std::string reason);
  bool Stamp();

  int fd_ = -1;
  std::int64_t size_ = 0;
  std::timespec modified_{};
  std::string reason_;
};

// Opens the regular file at `path` (a local file name, as bytes): refused with "no file
// name", "no such file", "permission denied", "is a directory", "not a regular file",
// "empty file", or the system's reason.
OpenedFile OpenPictureFile(const std::string& path);

// An anonymous file in memory holding `bytes`, read from the start like a fresh file:
// decoders read it exactly as they read a file. Refused with "empty file" for no bytes.
OpenedFile MemoryFile(std::string_view bytes);

}  // namespace holescan
