#include "io/output_file.h"

#include "io/errno_reason.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace holescan {
namespace {

// The permission bits a new file gets: what open(2) would give with mode 0666.
mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace


OutputFile::OutputFile(std::string path, Devices devices) : path_(std::move(path)) {
  if (path_ == kStandardOutput) {
    stream_ = stdout;
    return;
  }
  target_ = path_;
  struct stat status {};
  if (::stat(path_.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) {
      openError_ = Failure(EISDIR);
      return;
    }
    if (!S_ISREG(status.st_mode)) {
      // A stream cannot be replaced, only written; and renaming over a device would
      // destroy it.
      if (devices == Devices::Refuse) {
        openError_ = "cannot write " + path_ + ": not a regular file";
        return;
      }
      stream_ = std::fopen(path_.c_str(), "wb");
      if (stream_ == nullptr) openError_ = Failure(errno);
      return;
    }
    // A file we could not have opened for writing is not ours to replace either.
    if (::access(path_.c_str(), W_OK) != 0) {
      openError_ = Failure(errno);
      return;
    }
    keepMode_ = static_cast<mode_t>(status.st_mode & 07777);
    if (char* real = ::realpath(path_.c_str(), nullptr)) {
      target_ = real;  // through a symbolic link, the file it names is replaced
      std::free(real);
    }
  }
  // A short name in the target's own folder: the rename stays on one file system, and a
  // target name of any length the folder allows still leaves room for it.
  std::string scratch = FolderOf(target_) + "/.hs-XXXXXX";
  const int fd = ::mkostemp(scratch.data(), O_CLOEXEC);
  if (fd < 0) {
    openError_ = Failure(errno);
    return;
  }
  scratch_ = scratch;
  if (::fchmod(fd, keepMode_.value_or(NewFileMode())) != 0 ||
      (stream_ = ::fdopen(fd, "wb")) == nullptr) {
    openError_ = Failure(errno);
    ::close(fd);
    ::unlink(scratch_.c_str());
    scratch_.clear();
  }
}

OutputFile::~OutputFile() {
  Discard();
}

std::string OutputFile::Failure(int error) const {
  return "cannot write " + path_ + ": " + ErrnoReason(error);
}

void OutputFile::Write(std::string_view bytes) {
  if (stream_ == nullptr || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size() && error_ == 0)
    error_ = errno != 0 ? errno : EIO;
}

void OutputFile::Discard() {
  if (stream_ != nullptr && stream_ != stdout) std::fclose(stream_);
  stream_ = nullptr;
  if (!scratch_.empty()) ::unlink(scratch_.c_str());
  scratch_.clear();
}

std::optional<std::string> OutputFile::Commit() {
  if (stream_ == nullptr) return openError_.empty() ? std::nullopt : std::optional(openError_);
  std::FILE* stream = stream_;
  stream_ = nullptr;
  errno = 0;
  const bool flushed = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  if (!flushed && error_ == 0) error_ = errno != 0 ? errno : EIO;
  if (stream != stdout && std::fclose(stream) != 0 && error_ == 0) error_ = errno;
  if (error_ == 0 && !scratch_.empty() && std::rename(scratch_.c_str(), target_.c_str()) != 0)
    error_ = errno;
  if (error_ != 0) {
    if (!scratch_.empty()) ::unlink(scratch_.c_str());
    scratch_.clear();
    return Failure(error_);
  }
  scratch_.clear();
  return std::nullopt;
}

}  // namespace holescan
