#include "io/file_reading.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "support/scratch_folder.h"

namespace holescan {
namespace {

class FileReading : public testing::ScratchFolder {};

TEST_F(FileReading, opens_regular_files_only) {
  EXPECT_EQ(OpenPictureFile("").Reason(), "no file name");
  EXPECT_EQ(OpenPictureFile(Path("missing")).Reason(), "no such file");
  EXPECT_EQ(OpenPictureFile(folder_.string()).Reason(), "is a directory");
  EXPECT_EQ(OpenPictureFile("/dev/zero").Reason(), "not a regular file");
  EXPECT_EQ(OpenPictureFile(Write("empty", "")).Reason(), "empty file");
  const OpenedFile file = OpenPictureFile(Write("a", "abc"));
  ASSERT_TRUE(file.Ok());
  EXPECT_EQ(file.Size(), 3);
  EXPECT_FALSE(file.Changed());
  EXPECT_EQ(OpenFailureReason(ELOOP), "too many levels of symbolic links");
  EXPECT_EQ(OpenFailureReason(ENOENT), "no such file");
}

TEST_F(FileReading, notices_a_file_cut_or_rewritten_while_open) {
  const std::string path = Write("cut", std::string(1000, 'x'));
  const OpenedFile cut = OpenPictureFile(path);
  ASSERT_EQ(::truncate(path.c_str(), 500), 0);
  EXPECT_TRUE(cut.Changed());

  const std::string same = Write("same-size", std::string(1000, 'x'));
  const OpenedFile rewritten = OpenPictureFile(same);
  struct timespec times[2] = {{0, UTIME_OMIT}, {12345, 0}};  // a new modification time
  ASSERT_EQ(::utimensat(AT_FDCWD, same.c_str(), times, 0), 0);
  EXPECT_TRUE(rewritten.Changed());
}

TEST(MemoryFile, holds_the_bytes_from_the_start) {
  EXPECT_EQ(MemoryFile("").Reason(), "empty file");
  const OpenedFile file = MemoryFile("picture");
  ASSERT_TRUE(file.Ok());
  EXPECT_EQ(file.Size(), 7);
  char first = 0;
  ASSERT_EQ(::read(file.Descriptor(), &first, 1), 1);
  EXPECT_EQ(first, 'p');
  EXPECT_FALSE(file.Changed());
}

}  // namespace
}  // namespace holescan
