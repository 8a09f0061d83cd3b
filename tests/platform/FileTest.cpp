#include <sys/stat.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "platform/File.h"
#include "platform/SysError.h"
#include "tests/support/TempDir.h"

namespace quillmere {
namespace {

TEST(SysErrorTest, TextIsTheSystemsLineWithCrLf) {
  EXPECT_EQ(CSysError().Text(), "");
  EXPECT_EQ(CSysError::FromCode(ENOENT).Text(), "No such file or directory\r\n");
  EXPECT_TRUE(CSysError::FromCode(ENOENT));
  EXPECT_FALSE(CSysError());
}

TEST(FileTest, ReadsAFileLargerThanOneBufferExactly) {
  test::CScopedTempDir dir;
  std::string strData;
  for (int i = 0; i < 100000; ++i) strData += static_cast<char>(i * 7 % 256);
  test::WriteFile(dir.Sub("big"), strData);

  std::string strRead = "stale";
  ASSERT_FALSE(ReadWholeFile(dir.Sub("big"), &strRead));
  EXPECT_EQ(strRead, strData);
}

TEST(FileTest, RefusesWhatIsNotARegularFileWithoutWaiting) {
  test::CScopedTempDir dir;
  ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0666), 0);
  std::string strRead;
  EXPECT_EQ(ReadWholeFile(dir.Path(), &strRead).Code(), EISDIR);
  EXPECT_EQ(ReadWholeFile(dir.Sub("fifo"), &strRead).Code(), EINVAL);
  EXPECT_EQ(ReadWholeFile(dir.Sub("missing"), &strRead).Code(), ENOENT);

  // Creating for writing on a FIFO nobody reads fails instead of blocking.
  CFile file;
  EXPECT_EQ(file.Create(dir.Sub("fifo")).Code(), ENXIO);
  EXPECT_FALSE(file.IsOpen());
}

TEST(FileTest, CreateEmptiesAnExistingFile) {
  test::CScopedTempDir dir;
  test::WriteFile(dir.Sub("log"), "an earlier run's lines\r\n");
  CFile file;
  ASSERT_FALSE(file.Create(dir.Sub("log")));
  ASSERT_FALSE(file.Write("one\r\n"));
  ASSERT_FALSE(file.Close());
  std::string strRead;
  ASSERT_FALSE(ReadWholeFile(dir.Sub("log"), &strRead));
  EXPECT_EQ(strRead, "one\r\n");
}

TEST(FileTest, WriteToAClosedFileFails) {
  CFile file;
  EXPECT_EQ(file.Write("x").Code(), EBADF);
}

}  // namespace
}  // namespace quillmere
