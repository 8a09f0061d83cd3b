#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/Host.h"

namespace quillmere {

// The host of the terminal front end: messages go to stderr, the question is asked on
// the terminal when there is one, and "open the log" is remembered so that its path
// can be printed at the end.
class CTerminalHost final : public IHost {
 public:
  // bAssumeYes answers questions Yes when no terminal can be asked.
  explicit CTerminalHost(bool bAssumeYes) : m_bAssumeYes(bAssumeYes) {}

  void ShowMessage(const std::string& strText, EMsgIcon eIcon) override;
  bool AskYesNo(const std::string& strText) override;
  void OpenDocument(const std::string& strPath) override;
  void FocusClose() override {}
  void RequestClose() override {}

  // True while a question waits for its answer: the progress line keeps quiet.
  bool Asking() const { return m_bAsking; }
  // Whether a question was answered No.
  bool Declined() const { return m_bDeclined; }
  // The document the run asked to open, or empty.
  std::string OpenedDocument() const;

 private:
  const bool m_bAssumeYes;
  std::atomic<bool> m_bAsking{false};
  std::atomic<bool> m_bDeclined{false};
  mutable std::mutex m_mutex;
  std::string m_strOpened;
};

// The text of a message box for a terminal: CR LF line ends become LF.
std::string TerminalText(const std::string& strText);

}  // namespace quillmere
