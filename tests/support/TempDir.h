#pragma once

#include <string>
#include <vector>

namespace quillmere::test {

// A fresh folder under $TMPDIR (or /tmp) for one test, removed with everything in it
// when the object goes away.
class CScopedTempDir {
 public:
  CScopedTempDir();
  ~CScopedTempDir();
  CScopedTempDir(const CScopedTempDir&) = delete;
  CScopedTempDir& operator=(const CScopedTempDir&) = delete;

  const std::string& Path() const { return m_strPath; }
  // Path() + "/" + strName.
  std::string Sub(const std::string& strName) const;

 private:
  std::string m_strPath;
};

// Writes strData to strPath, replacing the file; fails the test on error.
void WriteFile(const std::string& strPath, const std::string& strData);
// The whole of strPath; fails the test (and gives "") when it cannot be read.
std::string ReadFile(const std::string& strPath);

// The names in strFolder, sorted; fails the test when it cannot be listed.
std::vector<std::string> FolderNames(const std::string& strFolder);

// Changes the working folder for one scope and restores it afterwards.
class CScopedChdir {
 public:
  explicit CScopedChdir(const std::string& strPath);
  ~CScopedChdir();
  CScopedChdir(const CScopedChdir&) = delete;
  CScopedChdir& operator=(const CScopedChdir&) = delete;

 private:
  std::string m_strPrevious;
};

}  // namespace quillmere::test
