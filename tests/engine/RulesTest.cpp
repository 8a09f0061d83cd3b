// Table tests for the engine's pure rules: pattern matching, the order folders are
// created in, and how source paths map to destination paths.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/Path.h"
#include "engine/QuillmereJob.h"
#include "tests/support/RecordingHost.h"

namespace quillmere {
namespace {

TEST(MatchPatternTest, Table) {
  struct SRow {
    const char* pszName;
    const char* pszPattern;
    bool bMatch;
  };
  const SRow kRows[] = {
      {"a.txt", "*.txt", true},
      {"A.TXT", "*.txt", false},          // case matters
      {"a.txt.bak", "*.txt", false},      // the whole name must be covered
      {"readme", "*.*", false},           // "." is literal
      {"read.me", "*.*", true},
      {"abc", "a?c", false},              // "?" is no wildcard
      {"a?c", "a?c", true},
      {"abc", "abc", true},
      {"abcd", "abc", false},
      {"abc", "abcd", false},
      {"", "*", false},                   // an empty name matches nothing
      {"x", "*", true},
      {"abc", "a*", true},
      {"abc", "*c", true},
      {"abc", "a*c", true},
      {"ac", "a*c", true},                // "*" may stand for nothing
      {"abd", "a*c", false},
      {"xaxb", "*a*b", true},
      {"aab", "*ab", true},               // a piece is tried again further on
      {"abab", "*ab*", true},
      {"report2024.doc", "report*.doc", true},
      {"report.docx", "report*.doc", false},
      {"abc", "a**c", false},             // "*" after "*" is literal
      {"abc", "**", false},
      {"a*c", "a**c", true},              // ...and so matches a literal "*"
      {"abc", "", false},
  };
  for (const SRow& row : kRows) {
    SCOPED_TRACE(std::string(row.pszName) + " ~ " + row.pszPattern);
    EXPECT_EQ(MatchPattern(row.pszName, row.pszPattern), row.bMatch);
  }
}

TEST(PassesFilterTest, Table) {
  struct SRow {
    const char* pszName;
    std::vector<std::string> arrFilters;
    bool bInverse;
    std::vector<std::string> arrPass;  // of the names "a.txt", "b.tmp", "c.bak"
  };
  const SRow kRows[] = {
      {"star", {"*"}, false, {"a.txt", "b.tmp", "c.bak"}},
      {"two_patterns", {"*.tmp", "*.bak"}, false, {"b.tmp", "c.bak"}},
      {"inverse", {"*.tmp", "*.bak"}, true, {"a.txt"}},
      {"empty_filter", {""}, false, {}},
      {"only_semicolons", {"", "", ""}, false, {}},
      {"empty_filter_inverse", {""}, true, {"a.txt", "b.tmp", "c.bak"}},
      {"empty_pieces_ignored", {"*.txt", "", ""}, false, {"a.txt"}},
  };
  test::CRecordingHost host;
  CQuillmereJob job(host);
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.pszName);
    CFolder folder;
    folder.m_arrFilters = row.arrFilters;
    folder.m_bInverseFilter = row.bInverse;
    job.m_pCurFolder = &folder;
    std::vector<std::string> arrPassed;
    for (const char* pszFile : {"a.txt", "b.tmp", "c.bak"}) {
      if (job.PassesFilter(pszFile)) arrPassed.push_back(pszFile);
    }
    EXPECT_EQ(arrPassed, row.arrPass);
  }
}

TEST(SortFoldersByLengthTest, Table) {
  struct SRow {
    const char* pszName;
    std::vector<std::string> arrIn;
    std::vector<std::string> arrOut;
  };
  const SRow kRows[] = {
      {"empty", {}, {}},
      {"one", {"/d/a"}, {"/d/a"}},
      {"parents_first", {"/d/a/bb", "/d/a", "/d/zz"}, {"/d/a", "/d/zz", "/d/a/bb"}},
      {"equal_lengths_keep_order", {"/d/b1", "/d/a1"}, {"/d/b1", "/d/a1"}},
      {"deep_chain", {"/d/a/b/c", "/d/a/b", "/d/a"}, {"/d/a", "/d/a/b", "/d/a/b/c"}},
      {"stable_among_many",
       {"/d/x/yy", "/d/x", "/d/c/dd", "/d/c", "/d/e"},
       {"/d/x", "/d/c", "/d/e", "/d/x/yy", "/d/c/dd"}},
  };
  test::CRecordingHost host;
  CQuillmereJob job(host);
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.pszName);
    job.m_arrDirs = row.arrIn;
    job.SortFoldersByLength();
    EXPECT_EQ(job.m_arrDirs, row.arrOut);
  }
}

TEST(MapToDestTest, Table) {
  struct SRow {
    const char* pszName;
    const char* pszSrcConfigured;
    const char* pszDstConfigured;
    const char* pszPath;  // as the scan builds it below the normalized root
    const char* pszDest;
  };
  const SRow kRows[] = {
      {"plain", "/data", "/backup", "/data/a/b.txt", "/backup/a/b.txt"},
      {"root_itself", "/data", "/backup", "/data", "/backup/"},
      {"trailing_slashes", "/data//", "/backup/", "/data/x", "/backup/x"},
      {"doubled_slashes", "//data//in", "/backup//out", "/data/in/x", "/backup/out/x"},
      {"relative_roots", "src", "out/dst", "src/x/y", "out/dst/x/y"},
      {"source_is_slash", "/", "/backup", "/etc/hosts", "/backup/etc/hosts"},
      {"destination_is_slash", "/data", "/", "/data/x", "/x"},
  };
  test::CRecordingHost host;
  CQuillmereJob job(host);
  for (const SRow& row : kRows) {
    SCOPED_TRACE(row.pszName);
    job.m_strSrc = NormalizeRoot(row.pszSrcConfigured);
    job.m_strDst = NormalizeRoot(row.pszDstConfigured);
    job.m_nSrcRootLen = static_cast<std::int32_t>(job.m_strSrc.size());
    EXPECT_EQ(job.MapToDest(row.pszPath), row.pszDest);
  }
}

}  // namespace
}  // namespace quillmere
