// The real file system: what the copy promises about the older copy, the temporary
// file, permissions and times, and what a listing reports.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

namespace quillmere {
namespace {

struct SProgress {
  std::vector<std::int64_t> arrReports;
  int nCancelAt = 0;  // answer Cancel at this report (1-based); 0: never
};

ECopyAnswer Record(std::int64_t nTotal, std::int64_t nDone, void* pData) {
  auto* p = static_cast<SProgress*>(pData);
  EXPECT_LE(nDone, nTotal);
  p->arrReports.push_back(nDone);
  return static_cast<int>(p->arrReports.size()) == p->nCancelAt ? ECopyAnswer::Cancel
                                                                : ECopyAnswer::Continue;
}

std::vector<std::string> Names(const std::string& strFolder) {
  std::vector<std::string> arrNames;
  DIR* pDir = ::opendir(strFolder.c_str());
  while (const dirent* p = ::readdir(pDir)) {
    std::string strName = p->d_name;
    if (strName != "." && strName != "..") arrNames.push_back(strName);
  }
  ::closedir(pDir);
  std::sort(arrNames.begin(), arrNames.end());
  return arrNames;
}

// A file several copy chunks long, so a copy reports progress in between.
std::string BigContents() {
  std::string str(40 * 1024 * 1024, '\0');
  for (size_t i = 0; i < str.size(); i += 4096) str[i] = static_cast<char>(i / 4096);
  return str;
}

// Every copy test runs with both kinds of temporary file.
class PosixFileSystemTest : public ::testing::TestWithParam<ETempFiles> {
 protected:
  test::CScopedTempDir m_dir;
  std::unique_ptr<IFileSystem> m_pFs = MakePosixFileSystem(GetParam());
  IFileSystem& m_fs = *m_pFs;
};

TEST_P(PosixFileSystemTest, CopyReplacesWithContentsModeAndNanosecondTime) {
  const std::string strSrc = m_dir.Sub("src");
  const std::string strDst = m_dir.Sub("dst");
  test::WriteFile(strSrc, "new contents");
  test::WriteFile(strDst, "older, longer contents");
  ASSERT_EQ(::chmod(strSrc.c_str(), 04751), 0);  // setuid must not be handed on
  const struct timespec times[2] = {{1'600'000'000, 0}, {1'650'000'000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, strSrc.c_str(), times, 0), 0);

  SProgress progress;
  ASSERT_FALSE(m_fs.CopyFile(strSrc, strDst, &Record, &progress));

  EXPECT_EQ(test::ReadFile(strDst), "new contents");
  struct stat st {};
  ASSERT_EQ(::stat(strDst.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  EXPECT_EQ(st.st_mtim.tv_sec, 1'650'000'000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
  EXPECT_EQ(progress.arrReports, (std::vector<std::int64_t>{0, 12}));
  EXPECT_EQ(Names(m_dir.Path()), (std::vector<std::string>{"dst", "src"}));
}

TEST_P(PosixFileSystemTest, ProgressIsReportedBeforeTheFirstByteAndAfterEveryChunk) {
  const std::string strBig = BigContents();
  test::WriteFile(m_dir.Sub("src"), strBig);
  SProgress progress;
  ASSERT_FALSE(m_fs.CopyFile(m_dir.Sub("src"), m_dir.Sub("dst"), &Record, &progress));
  ASSERT_GE(progress.arrReports.size(), 3u);
  EXPECT_EQ(progress.arrReports.front(), 0);
  EXPECT_EQ(progress.arrReports.back(), static_cast<std::int64_t>(strBig.size()));
  EXPECT_TRUE(std::is_sorted(progress.arrReports.begin(), progress.arrReports.end()));
  EXPECT_TRUE(test::ReadFile(m_dir.Sub("dst")) == strBig);
}

TEST_P(PosixFileSystemTest, CancelMidFileKeepsTheOlderCopyAndLeavesNothingElse) {
  test::WriteFile(m_dir.Sub("src"), BigContents());
  test::WriteFile(m_dir.Sub("dst"), "the older copy");
  SProgress progress;
  progress.nCancelAt = 2;  // after the first chunk has been written
  EXPECT_EQ(m_fs.CopyFile(m_dir.Sub("src"), m_dir.Sub("dst"), &Record, &progress).Code(),
            ECANCELED);
  EXPECT_EQ(test::ReadFile(m_dir.Sub("dst")), "the older copy");
  EXPECT_EQ(Names(m_dir.Path()), (std::vector<std::string>{"dst", "src"}));
}

TEST_P(PosixFileSystemTest, RefusalsLeaveTheFolderAsItWas) {
  test::WriteFile(m_dir.Sub("src"), "data");
  test::WriteFile(m_dir.Sub("readonly"), "keep me");
  ASSERT_EQ(::chmod(m_dir.Sub("readonly").c_str(), 0444), 0);
  ASSERT_EQ(::mkdir(m_dir.Sub("folder").c_str(), 0777), 0);
  ASSERT_EQ(::mkfifo(m_dir.Sub("fifo").c_str(), 0666), 0);
  const std::vector<std::string> arrBefore = Names(m_dir.Path());

  struct SRow {
    const char* pszName;
    std::string strSrc;
    std::string strDst;
    int nErrno;
  };
  const SRow kRows[] = {
      {"missing_source", m_dir.Sub("nothing"), m_dir.Sub("new"), ENOENT},
      // Refused as the user made it, also when running as root.
      {"read_only_destination", m_dir.Sub("src"), m_dir.Sub("readonly"), EACCES},
      {"destination_is_a_folder", m_dir.Sub("src"), m_dir.Sub("folder"), EISDIR},
      {"destination_folder_missing", m_dir.Sub("src"), m_dir.Sub("none/new"), ENOENT},
      {"source_is_a_fifo", m_dir.Sub("fifo"), m_dir.Sub("new"), EOPNOTSUPP},  // never blocks
      {"source_is_a_folder", m_dir.Sub("folder"), m_dir.Sub("new"), EISDIR},
  };
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.pszName);
    SProgress progress;
    EXPECT_EQ(m_fs.CopyFile(row.strSrc, row.strDst, &Record, &progress).Code(), row.nErrno);
    EXPECT_EQ(Names(m_dir.Path()), arrBefore);
  }
  EXPECT_EQ(test::ReadFile(m_dir.Sub("readonly")), "keep me");
}

std::string NumberedContents(size_t i) {
  std::string str = "contents ";
  str += std::to_string(i);
  return str;
}

// Announced copies are opened ahead; taking them in another order, or fewer of them,
// must still copy exactly what is asked and leave nothing else behind.
TEST_P(PosixFileSystemTest, AnnouncedCopiesWorkInAnyOrderAndEndCleanly) {
  ASSERT_EQ(::mkdir(m_dir.Sub("in").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(m_dir.Sub("out").c_str(), 0777), 0);
  std::vector<std::string> arrNames;
  for (size_t i = 0; i < 20; ++i) {
    arrNames.push_back(std::to_string(i) + ".txt");
    test::WriteFile(m_dir.Sub("in/" + arrNames.back()), NumberedContents(i));
  }
  auto fnList = [&](size_t i, std::string* pstrSrc, std::string* pstrDst) {
    *pstrSrc = m_dir.Sub("in/" + arrNames[i]);
    *pstrDst = m_dir.Sub("out/" + arrNames[i]);
  };

  // In order for a while, then one out of order, then the rest of the list.
  m_fs.ExpectCopies(arrNames.size(), fnList);
  std::vector<size_t> arrOrder = {0, 1, 2, 3, 7, 4, 5, 6};
  for (size_t i = 8; i < 15; ++i) arrOrder.push_back(i);  // 15..19 never copied
  for (size_t i : arrOrder) {
    SProgress progress;
    std::string strSrc;
    std::string strDst;
    fnList(i, &strSrc, &strDst);
    ASSERT_FALSE(m_fs.CopyFile(strSrc, strDst, &Record, &progress)) << i;
    EXPECT_EQ(test::ReadFile(strDst), NumberedContents(i));
  }
  m_fs.EndCopies();

  std::vector<std::string> arrExpected;
  for (size_t i : arrOrder) arrExpected.push_back(arrNames[i]);
  std::sort(arrExpected.begin(), arrExpected.end());
  EXPECT_EQ(Names(m_dir.Sub("out")), arrExpected);
}

TEST_P(PosixFileSystemTest, CopiesAcrossFileSystems) {
  struct stat stTmp {};
  struct stat stShm {};
  if (::stat(m_dir.Path().c_str(), &stTmp) != 0 || ::stat("/dev/shm", &stShm) != 0 ||
      stTmp.st_dev == stShm.st_dev || ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no second file system to copy to";
  }
  const std::string strDst = "/dev/shm/quillmere-test-" + std::to_string(::getpid());
  test::WriteFile(m_dir.Sub("src"), "across");
  SProgress progress;
  EXPECT_FALSE(m_fs.CopyFile(m_dir.Sub("src"), strDst, &Record, &progress));
  EXPECT_EQ(test::ReadFile(strDst), "across");
  ::unlink(strDst.c_str());
}

TEST_P(PosixFileSystemTest, ListingFollowsLinksAndKeepsDotFiles) {
  ASSERT_EQ(::mkdir(m_dir.Sub("sub").c_str(), 0777), 0);
  test::WriteFile(m_dir.Sub(".hidden"), "h");
  ASSERT_EQ(::symlink("sub", m_dir.Sub("link-to-folder").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", m_dir.Sub("broken-link").c_str()), 0);
  ASSERT_EQ(::mkfifo(m_dir.Sub("fifo").c_str(), 0666), 0);

  SFolderListing listing;
  ASSERT_FALSE(m_fs.ListFolder(m_dir.Path(), &listing));
  std::vector<std::pair<std::string, EFileKind>> arrEntries;
  for (const SFolderEntry& entry : listing.arrEntries) arrEntries.emplace_back(entry.strName, entry.eKind);
  std::sort(arrEntries.begin(), arrEntries.end());
  EXPECT_EQ(arrEntries, (std::vector<std::pair<std::string, EFileKind>>{
                            {".hidden", EFileKind::File},
                            {"broken-link", EFileKind::File},
                            {"fifo", EFileKind::Special},
                            {"link-to-folder", EFileKind::Folder},
                            {"sub", EFileKind::Folder},
                        }));
  SFileAttr attr;
  ASSERT_FALSE(m_fs.GetAttributes(m_dir.Path(), &attr));
  EXPECT_EQ(listing.id, attr.id);

  EXPECT_EQ(m_fs.ListFolder(m_dir.Sub(".hidden"), &listing).Code(), ENOTDIR);
  EXPECT_EQ(m_fs.ListFolder(m_dir.Sub("fifo"), &listing).Code(), ENOTDIR);
  EXPECT_EQ(m_fs.GetAttributes(m_dir.Sub("broken-link"), &attr).Code(), ENOENT);
}

TEST_P(PosixFileSystemTest, CreatesOneLevelOnly) {
  EXPECT_FALSE(m_fs.CreateFolder(m_dir.Sub("a")));
  EXPECT_EQ(m_fs.CreateFolder(m_dir.Sub("a")).Code(), EEXIST);
  EXPECT_EQ(m_fs.CreateFolder(m_dir.Sub("x/y")).Code(), ENOENT);
}

INSTANTIATE_TEST_SUITE_P(TempFiles, PosixFileSystemTest,
                         ::testing::Values(ETempFiles::UnnamedWherePossible, ETempFiles::Named),
                         [](const auto& paramInfo) {
                           return paramInfo.param == ETempFiles::Named ? std::string("Named")
                                                                  : std::string("Unnamed");
                         });

}  // namespace
}  // namespace quillmere
