#pragma once

#include <functional>
#include <string>

#include <QString>

namespace quillmere {

// The desktop's "open with the associated program". GUI thread only.
class CShell {
 public:
  // Opens strPath (relative to the working folder, or absolute) as a document with
  // the user's program for its type; never runs the file itself. Returns false when
  // the desktop could not be asked (the program for the type may still fail later).
  static bool OpenDocument(const std::string& strPath);

  // Tests: receives the absolute path instead of the desktop; empty restores it.
  static void SetOpenHook(std::function<void(const QString& strAbsolutePath)> hook);
};

}  // namespace quillmere
