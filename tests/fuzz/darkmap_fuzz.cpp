// Fuzz target: any bytes as a darkness-map file -> LoadDarkMap, then "Draw" and a save.
//
// The first two bytes choose the picture's size (1..64 on a side), the rest is the file. A
// file of the wrong size must be refused with the map unchanged; one of the right size must
// be taken byte for byte and saved back unchanged.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "main_window/form1.h"
#include "support/recording_window.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// A scratch folder of this process, removed at exit.
const std::filesystem::path& Scratch() {
  static const std::filesystem::path folder = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "holescan-darkmap-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(Scratch(), ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int width = 1 + data[0] % 64;
  const int height = 1 + data[1] % 64;
  const std::string contents(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::filesystem::path map = Scratch() / "map.dat";
  {
    std::ofstream out(map, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  }

  // A light picture with a dark corner: Draw has a hole to find.
  holescan::Picture picture(width, height, 0xFFE0E0E0u);
  for (int y = 0; y < height / 2; ++y)
    for (int x = 0; x < width / 2; ++x) picture.Set(x, y, 0xFF000000u);
  holescan::fakes::RecordingWindow toolkit(std::move(picture));
  toolkit.recordCaptions = false;
  holescan::Form1 form(toolkit, toolkit);
  Check(!form.CmdLoad_Click());
  const auto before = form.Dark().Bytes();
  const auto expected = static_cast<std::size_t>((width + 1) * (height + 1));

  const auto failure = form.LoadDarkMap(map.string());
  if (contents.size() != expected) {
    Check(failure.has_value() && !failure->empty());
    Check(form.Dark().Bytes() == before);
  } else {
    Check(!failure.has_value());
    Check(std::equal(contents.begin(), contents.end(), form.Dark().Bytes().begin(),
                     [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    const std::filesystem::path saved = Scratch() / "saved.dat";
    Check(!form.SaveDarkMap(saved.string()));
    std::ifstream in(saved, std::ios::binary);
    Check(std::string(std::istreambuf_iterator<char>(in), {}) == contents);
  }
  Check(!form.LoadDarkMap((Scratch() / "missing.dat").string()).value_or("").empty());
  Check(!form.CmdDraw_Click());
  return 0;
}
