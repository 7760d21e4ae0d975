#include "io/dark_map_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "io/errno_reason.h"
#include "io/output_file.h"

namespace holescan {

std::optional<std::string> SaveDarkMapFile(const DarkMap& map, const std::string& path) {
  OutputFile file(path, OutputFile::Devices::Refuse);
  const auto& bytes = map.Bytes();
  file.Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  return file.Commit();
}

std::optional<std::string> LoadDarkMapFile(DarkMap& map, const std::string& path) {
  const auto failed = [&](const std::string& reason) {
    return std::optional<std::string>("cannot read " + path + ": " + reason);
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return failed(ErrnoReason(errno));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0) return failed(ErrnoReason(errno));
  if (!S_ISREG(status.st_mode)) return failed("not a regular file");
  auto& bytes = map.Bytes();
  const auto size = static_cast<std::uint64_t>(status.st_size);
  if (size != bytes.size()) {
    return failed("it holds " + std::to_string(size) + " bytes, the map " +
                  std::to_string(bytes.size()) + " (" + std::to_string(map.Columns()) + " x " +
                  std::to_string(map.Rows()) + ")");
  }
  PixelStore<std::uint8_t> incoming(bytes.size());
  std::size_t got = 0;
  while (got < incoming.size()) {
    const ssize_t n = ::read(fd, incoming.data() + got, incoming.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(ErrnoReason(errno));
    if (n == 0) return failed("the file ended early");
    got += static_cast<std::size_t>(n);
  }
  bytes.Swap(incoming);
  return std::nullopt;
}

}  // namespace holescan
