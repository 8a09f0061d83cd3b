#pragma once

#include <string>

namespace quillmere {

enum class EMsgIcon { None, Error, Warning, Question };

// What the engine and the loader do with a window, behind one small seam: the dialog,
// the terminal front end and the tests each implement it. The engine never reaches a
// window any other way.
class IHost {
 public:
  virtual ~IHost() = default;

  // A message box with an OK button; the caption is the application name. Called on
  // the GUI thread (by the configuration loader). Returns once the user has read it.
  virtual void ShowMessage(const std::string& strText, EMsgIcon eIcon) = 0;

  // A Yes/No question without an icon, captioned with the application name. May be
  // called from the worker thread; returns true for Yes. An implementation answers
  // No by itself when the run is being stopped, so the worker never waits forever.
  virtual bool AskYesNo(const std::string& strText) = 0;

  // Opens a document with the user's associated program (never runs it as a
  // program). Any thread; the result is not reported.
  virtual void OpenDocument(const std::string& strPath) = 0;

  // Moves the keyboard focus to the Close button. Any thread; must not wait for the
  // GUI thread.
  virtual void FocusClose() = 0;

  // Asks the main window to close, as if the user had closed it. Any thread; does
  // not wait.
  virtual void RequestClose() = 0;
};

}  // namespace quillmere
