#include "tests/support/TempDir.h"

#include <ftw.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "platform/File.h"

namespace quillmere::test {

namespace {

int RemoveEntry(const char* pszPath, const struct stat*, int, struct FTW*) {
  ::remove(pszPath);
  return 0;
}

}  // namespace

CScopedTempDir::CScopedTempDir() {
  const char* pszBase = std::getenv("TMPDIR");
  std::string strTemplate =
      std::string(pszBase != nullptr && *pszBase ? pszBase : "/tmp") + "/quillmere-test-XXXXXX";
  std::vector<char> buffer(strTemplate.begin(), strTemplate.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  m_strPath = buffer.data();
}

CScopedTempDir::~CScopedTempDir() {
  // Depth first, without following links, so nothing outside the folder is touched.
  ::nftw(m_strPath.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string CScopedTempDir::Sub(const std::string& strName) const {
  return m_strPath + "/" + strName;
}

void WriteFile(const std::string& strPath, const std::string& strData) {
  std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
  out.write(strData.data(), static_cast<std::streamsize>(strData.size()));
  out.close();
  ASSERT_TRUE(out) << "cannot write " << strPath;
}

std::string ReadFile(const std::string& strPath) {
  std::string strData;
  EXPECT_FALSE(ReadWholeFile(strPath, &strData)) << "cannot read " << strPath;
  return strData;
}

CScopedChdir::CScopedChdir(const std::string& strPath) {
  char* pszCwd = ::getcwd(nullptr, 0);
  if (pszCwd != nullptr) {
    m_strPrevious = pszCwd;
    std::free(pszCwd);
  }
  if (::chdir(strPath.c_str()) != 0) throw std::runtime_error("chdir failed: " + strPath);
}

CScopedChdir::~CScopedChdir() {
  if (!m_strPrevious.empty() && ::chdir(m_strPrevious.c_str()) != 0) std::abort();
}

std::vector<std::string> FolderNames(const std::string& strFolder) {
  std::vector<std::string> arrNames;
  std::error_code err;
  for (const auto& entry : std::filesystem::directory_iterator(strFolder, err)) {
    arrNames.push_back(entry.path().filename().string());
  }
  if (err) ADD_FAILURE() << "cannot list " << strFolder << ": " << err.message();
  std::sort(arrNames.begin(), arrNames.end());
  return arrNames;
}

}  // namespace quillmere::test
