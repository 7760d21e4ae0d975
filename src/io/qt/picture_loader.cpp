#include "io/qt/picture_loader.h"

#include <array>
#include <mutex>
#include <new>

#include "io/byte_source.h"
#include "io/file_reading.h"
#include "io/picture_check.h"
#include "io/picture_format.h"
#include "io/qt/direct_decode.h"

namespace holescan {
namespace {

PictureFile Refused(std::string reason) {
  PictureFile file;
  file.reason = std::move(reason);
  return file;
}

// Held while a picture is decoded: the message capture and standard error are process-wide.
std::mutex& LoadsInProgress() {
  static std::mutex mutex;
  return mutex;
}

PictureFile Load(const OpenedFile& opened, const PictureLimits& limits) {
  if (!opened.Ok()) return Refused(opened.Reason());
  const ByteSource file(opened.Descriptor(), opened.Size());
  std::array<char, kSniffBytes> head{};
  const std::size_t got = file.ReadAt(0, head.data(), head.size());
  const PictureFormat format = SniffPictureFormat(std::string_view(head.data(), got));
  if (format == PictureFormat::Unknown) return Refused("not a picture");
  if (auto refusal = RefusalBeforeHeaders(file, format)) return Refused(*refusal);

  QtPictureDecoder decoder(opened.Descriptor(), format, limits.memoryBudget);
  if (decoder.Refusal()) return Refused(*decoder.Refusal());
  const PictureCheck check = CheckPicture(file, format, decoder.Width(), decoder.Height(), limits);
  if (check.refusal) return Refused(*check.refusal);
  PictureFile result;
  if (std::optional<Picture> direct = DecodeDirect(file, format, check, limits)) {
    result.picture = std::move(*direct);
    result.loaded = true;
  } else {
    result = decoder.Decode(check, limits);
  }
  // A file cut or rewritten during the decode gives rows of both versions, or made-up ones.
  if (result.loaded && opened.Changed()) return Refused("file changed while it was read");
  result.resolution = check.resolution;
  return result;
}

// Memory can run out anywhere in a load, the checks and Qt's reading of the headers
// included: the load fails in one line, and the decoder's guards restore what it changed.
template <typename Open>
PictureFile Guarded(const PictureLimits& limits, Open open) {
  const std::lock_guard lock(LoadsInProgress());
  try {
    return Load(open(), limits);
  } catch (const std::bad_alloc&) {
    return Refused("out of memory");
  }
}

}  // namespace

PictureFile LoadPictureFile(const std::string& path, const PictureLimits& limits) {
  return Guarded(limits, [&] { return OpenPictureFile(path); });
}

PictureFile LoadPictureBytes(std::string_view bytes, const PictureLimits& limits) {
  return Guarded(limits, [&] { return MemoryFile(bytes); });
}

}  // namespace holescan
