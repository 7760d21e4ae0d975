#include "support/picture_writers.h"

#include <algorithm>

namespace holescan::testing {

Bytes BmpHeaders(std::int32_t width, std::int32_t height, int bits, std::uint32_t compression,
                 std::uint32_t colours, std::uint32_t dataOffset, std::uint32_t fileSize,
                 std::int32_t pixelsPerMetreX, std::int32_t pixelsPerMetreY) {
  Bytes b = "BM";
  PutLe32(b, fileSize);
  PutLe32(b, 0);
  PutLe32(b, dataOffset);
  PutLe32(b, 40);
  PutLe32(b, static_cast<std::uint32_t>(width));
  PutLe32(b, static_cast<std::uint32_t>(height));
  PutLe16(b, 1);
  PutLe16(b, static_cast<std::uint32_t>(bits));
  PutLe32(b, compression);
  PutLe32(b, 0);
  PutLe32(b, static_cast<std::uint32_t>(pixelsPerMetreX));
  PutLe32(b, static_cast<std::uint32_t>(pixelsPerMetreY));
  PutLe32(b, colours);
  PutLe32(b, 0);
  return b;
}

Bytes Bmp24(int width, int height, const std::function<std::uint32_t(int, int)>& colour,
            bool topDown) {
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  const auto size = static_cast<std::uint32_t>(54 + rowBytes * height);
  Bytes b = BmpHeaders(width, topDown ? -height : height, 24, 0, 0, 54, size);
  for (int row = 0; row < height; ++row) {
    const int y = topDown ? row : height - 1 - row;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      b.push_back(static_cast<char>(c & 0xFF));
      b.push_back(static_cast<char>((c >> 8) & 0xFF));
      b.push_back(static_cast<char>((c >> 16) & 0xFF));
    }
    b.append(static_cast<std::size_t>(rowBytes - width * 3), '\0');
  }
  return b;
}

Bytes BmpRle8(int width, int height, const Bytes& stream) {
  const std::uint32_t offset = 54 + 256 * 4;
  Bytes b = BmpHeaders(width, height, 8, 1, 256, offset,
                       offset + static_cast<std::uint32_t>(stream.size()));
  for (std::uint32_t i = 0; i < 256; ++i) PutLe32(b, i * 0x010101u);
  return b + stream;
}

Bytes BmpRle4(int width, int height, const Bytes& stream) {
  const std::uint32_t offset = 54 + 16 * 4;
  Bytes b = BmpHeaders(width, height, 4, 2, 16, offset,
                       offset + static_cast<std::uint32_t>(stream.size()));
  for (std::uint32_t i = 0; i < 16; ++i) PutLe32(b, i * 17 * 0x010101u);
  return b + stream;
}

Bytes GifLzwData(const std::vector<std::uint8_t>& indices) {
  Bytes codes;
  std::uint32_t bits = 0;
  int count = 0;
  auto put = [&](std::uint32_t code) {
    bits |= code << count;
    count += 9;
    while (count >= 8) {
      codes.push_back(static_cast<char>(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  };
  put(256);
  int sinceClear = 0;
  for (const std::uint8_t index : indices) {
    put(index);
    if (++sinceClear == 250) {
      put(256);
      sinceClear = 0;
    }
  }
  put(257);
  if (count > 0) codes.push_back(static_cast<char>(bits & 0xFF));
  Bytes blocks;
  for (std::size_t i = 0; i < codes.size(); i += 255) {
    const std::size_t n = std::min<std::size_t>(255, codes.size() - i);
    blocks.push_back(static_cast<char>(n));
    blocks.append(codes, i, n);
  }
  blocks.push_back('\0');
  return blocks;
}

Bytes Gif(int width, int height, const std::function<std::uint8_t(int, int)>& grey) {
  Bytes b = "GIF89a";
  PutLe16(b, static_cast<std::uint32_t>(width));
  PutLe16(b, static_cast<std::uint32_t>(height));
  b += "\xF7";
  b.append(2, '\0');
  for (int i = 0; i < 256; ++i) b.append(3, static_cast<char>(i));
  b += ",";
  PutLe32(b, 0);
  PutLe16(b, static_cast<std::uint32_t>(width));
  PutLe16(b, static_cast<std::uint32_t>(height));
  b.push_back('\0');
  b.push_back('\x08');
  std::vector<std::uint8_t> indices;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) indices.push_back(grey(x, y));
  return b + GifLzwData(indices) + ";";
}

std::uint32_t Crc32(const Bytes& bytes, std::size_t from, std::size_t count) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = from; i < from + count; ++i) {
    crc ^= static_cast<std::uint8_t>(bytes[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

Bytes PngChunk(const char* type, const Bytes& body) {
  Bytes chunk;
  PutBe32(chunk, static_cast<std::uint32_t>(body.size()));
  chunk += type;
  chunk += body;
  PutBe32(chunk, Crc32(chunk, 4, body.size() + 4));
  return chunk;
}

Bytes ZlibStored(const Bytes& raw) {
  Bytes z("\x78\x01", 2);
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    z.push_back(at + n == raw.size() ? '\x01' : '\x00');
    PutLe16(z, static_cast<std::uint32_t>(n));
    PutLe16(z, static_cast<std::uint32_t>(~n & 0xFFFF));
    z.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  std::uint32_t a = 1, b = 0;
  for (const char c : raw) {
    a = (a + static_cast<std::uint8_t>(c)) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(z, b << 16 | a);
  return z;
}

Bytes PngHeader(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType) {
  Bytes ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr.push_back(static_cast<char>(bitDepth));
  ihdr.push_back(static_cast<char>(colourType));
  ihdr.append(3, '\0');
  return ihdr;
}

Bytes Png(const Bytes& header, const Bytes& rows, const Bytes& before) {
  return Bytes("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) + before +
         PngChunk("IDAT", ZlibStored(rows)) + PngChunk("IEND", {});
}

Bytes PngRgb(int width, int height, const std::function<std::uint32_t(int, int)>& colour,
             const Bytes& before) {
  Bytes rows;
  for (int y = 0; y < height; ++y) {
    rows.push_back('\0');
    for (int x = 0; x < width; ++x) {
      const std::uint32_t c = colour(x, y);
      rows.push_back(static_cast<char>((c >> 16) & 0xFF));
      rows.push_back(static_cast<char>((c >> 8) & 0xFF));
      rows.push_back(static_cast<char>(c & 0xFF));
    }
  }
  return Png(PngHeader(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)), rows,
             before);
}

Bytes Tiff(bool littleEndian, const std::vector<TiffField>& fields, const Bytes& data) {
  const auto put16 = [&](Bytes& b, std::uint32_t v) {
    littleEndian ? PutLe16(b, v) : PutBe16(b, v);
  };
  const auto put32 = [&](Bytes& b, std::uint32_t v) {
    littleEndian ? PutLe32(b, v) : PutBe32(b, v);
  };
  Bytes b = littleEndian ? Bytes("II*\0", 4) : Bytes("MM\0*", 4);
  const std::size_t dataEnd = 8 + data.size() + data.size() % 2;
  put32(b, static_cast<std::uint32_t>(dataEnd));
  b += data;
  b.resize(dataEnd, '\0');
  Bytes directory, values;
  const std::size_t valuesStart = dataEnd + 2 + 12 * fields.size() + 4;
  put16(directory, static_cast<std::uint32_t>(fields.size()));
  for (const TiffField& f : fields) {
    Bytes packed;
    for (const std::uint32_t v : f.values) f.type == 3 ? put16(packed, v) : put32(packed, v);
    put16(directory, f.tag);
    put16(directory, f.type);
    put32(directory,
          static_cast<std::uint32_t>(f.type == 5 ? f.values.size() / 2 : f.values.size()));
    if (packed.size() <= 4) {
      packed.resize(4, '\0');
      directory += packed;
    } else {
      put32(directory, static_cast<std::uint32_t>(valuesStart + values.size()));
      values += packed;
    }
  }
  put32(directory, 0);
  return b + directory + values;
}

Bytes JpegSegment(std::uint8_t marker, const Bytes& body) {
  Bytes b{'\xFF', static_cast<char>(marker)};
  PutBe16(b, static_cast<std::uint32_t>(body.size() + 2));
  return b + body;
}

Bytes JpegSkeleton(int width, int height, const Bytes& segments, int scans, std::uint8_t frame) {
  Bytes header{'\x08'};
  PutBe16(header, static_cast<std::uint32_t>(height));
  PutBe16(header, static_cast<std::uint32_t>(width));
  header += Bytes("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
  Bytes b = Bytes("\xFF\xD8", 2) + segments + JpegSegment(frame, header);
  for (int i = 0; i < scans; ++i)
    b += JpegSegment(0xDA, Bytes("\x01\x01\x00\x00\x3F\x00", 6)) + Bytes("\x12\x34\xFF\x00\x56", 5);
  return b + Bytes("\xFF\xD9", 2);
}

}  // namespace holescan::testing
