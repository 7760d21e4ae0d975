#include "io/file_reading.h"

#include "io/errno_reason.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace holescan {

std::string OpenFailureReason(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "no such file";
    case EACCES:
    case EPERM:
      return "permission denied";
    default:
      return ErrnoReason(error);
  }
}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      size_(other.size_),
      modified_(other.modified_),
      reason_(std::move(other.reason_)) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
    modified_ = other.modified_;
    reason_ = std::move(other.reason_);
  }
  return *this;
}

OpenedFile::~OpenedFile() {
  if (fd_ >= 0) ::close(fd_);
}

OpenedFile OpenedFile::Refused(std::string reason) {
  OpenedFile file;
  file.reason_ = std::move(reason);
  return file;
}

bool OpenedFile::Stamp() {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return false;
  size_ = static_cast<std::int64_t>(status.st_size);
  modified_ = status.st_mtim;
  return true;
}

bool OpenedFile::Changed() const {
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return true;
  return static_cast<std::int64_t>(status.st_size) != size_ ||
         status.st_mtim.tv_sec != modified_.tv_sec || status.st_mtim.tv_nsec != modified_.tv_nsec;
}

OpenedFile OpenPictureFile(const std::string& path) {
  if (path.empty()) return OpenedFile::Refused("no file name");
  // Checked before opening, so that opening has no effect on a device or a FIFO.
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return OpenedFile::Refused(OpenFailureReason(errno));
  if (S_ISDIR(status.st_mode)) return OpenedFile::Refused("is a directory");
  if (!S_ISREG(status.st_mode)) return OpenedFile::Refused("not a regular file");

  OpenedFile file;
  file.fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (file.fd_ < 0) return OpenedFile::Refused(OpenFailureReason(errno));
  if (::fstat(file.fd_, &status) != 0) return OpenedFile::Refused(OpenFailureReason(errno));
  if (!S_ISREG(status.st_mode)) return OpenedFile::Refused("not a regular file");
  if (status.st_size == 0) return OpenedFile::Refused("empty file");
  file.size_ = static_cast<std::int64_t>(status.st_size);
  file.modified_ = status.st_mtim;
  return file;
}

OpenedFile MemoryFile(std::string_view bytes) {
  if (bytes.empty()) return OpenedFile::Refused("empty file");
  OpenedFile file;
  file.fd_ = ::memfd_create("holescan-picture", MFD_CLOEXEC);
  if (file.fd_ < 0) return OpenedFile::Refused(OpenFailureReason(errno));
  for (std::size_t written = 0; written < bytes.size();) {
    const ssize_t n = ::write(file.fd_, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return OpenedFile::Refused(errno == ENOMEM || errno == ENOSPC ? "out of memory"
                                                                    : OpenFailureReason(errno));
    }
    written += static_cast<std::size_t>(n);
  }
  // Decoders read through the descriptor's offset, from the start like a fresh file.
  if (::lseek(file.fd_, 0, SEEK_SET) != 0) return OpenedFile::Refused(OpenFailureReason(errno));
  if (!file.Stamp()) return OpenedFile::Refused(OpenFailureReason(errno));
  return file;
}

}  // namespace holescan
