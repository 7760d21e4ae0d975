#include "io/byte_source.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <string>

namespace holescan {
namespace {

// The same bytes from memory and from a descriptor read alike.
class ByteSources : public ::testing::Test {
 protected:
  void SetUp() override {
    fd_ = ::memfd_create("byte-source-test", MFD_CLOEXEC);
    ASSERT_GE(fd_, 0);
    ASSERT_EQ(::write(fd_, bytes_.data(), bytes_.size()), static_cast<ssize_t>(bytes_.size()));
  }
  void TearDown() override { ::close(fd_); }

  const std::string bytes_ = std::string("ab\xFF", 3) + std::string(70000, 'x') + "\xFFyz";
  int fd_ = -1;
};

TEST_F(ByteSources, read_at_any_offset_and_stop_at_the_end) {
  const auto size = static_cast<std::int64_t>(bytes_.size());
  for (const ByteSource& source : {ByteSource(bytes_), ByteSource(fd_, size)}) {
    EXPECT_EQ(source.Size(), size);
    char out[4] = {};
    EXPECT_TRUE(source.ReadExactly(0, out, 3));
    EXPECT_EQ(std::string(out, 3), std::string("ab\xFF", 3));
    EXPECT_EQ(source.ReadAt(size - 2, out, 4), 2u);
    EXPECT_EQ(source.ReadAt(size, out, 4), 0u);
    EXPECT_EQ(source.ReadAt(-1, out, 4), 0u);
    EXPECT_FALSE(source.ReadExactly(size - 1, out, 2));
  }
  EXPECT_EQ(::lseek(fd_, 0, SEEK_CUR), size);  // the descriptor's offset stays where it was
}

TEST_F(ByteSources, stream_skips_and_finds_markers_past_its_buffer) {
  for (const ByteSource& source :
       {ByteSource(bytes_), ByteSource(fd_, static_cast<std::int64_t>(bytes_.size()))}) {
    ByteStream in(source, 0);
    std::uint8_t b = 0;
    ASSERT_TRUE(in.SkipPastFF());
    EXPECT_EQ(in.Offset(), 3);
    ASSERT_TRUE(in.SkipPastFF());  // 70000 bytes on, past the 64 KiB buffer
    ASSERT_TRUE(in.Get(b));
    EXPECT_EQ(b, 'y');
    EXPECT_TRUE(in.Skip(1));
    EXPECT_FALSE(in.Get(b));
    EXPECT_FALSE(in.SkipPastFF());
    ByteStream far(source, 0);
    EXPECT_TRUE(far.Skip(static_cast<std::int64_t>(bytes_.size())));
    EXPECT_FALSE(far.Skip(1));
  }
}

}  // namespace
}  // namespace holescan
