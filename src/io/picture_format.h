// picture_format.h - a picture file's format, told from its first bytes, never its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace holescan {

enum class PictureFormat { Unknown, Bmp, Png, Jpeg, Gif, Tiff, WebP, Pnm };

// How many first bytes SniffPictureFormat needs at most.
inline constexpr std::size_t kSniffBytes = 16;

// The format whose signature `head` (the file's first bytes, fewer when the file is shorter)
// starts with: BM, the PNG signature, FF D8 FF, GIF87a/GIF89a, II*0/MM0*, RIFF....WEBP, or
// P1..P6 followed by white space or a comment.
PictureFormat SniffPictureFormat(std::string_view head);

// "bmp", "png", "jpeg", "gif", "tiff", "webp", "pnm"; "" for Unknown.
std::string_view PictureFormatName(PictureFormat format);

}  // namespace holescan
