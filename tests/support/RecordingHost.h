#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Host.h"

namespace quillmere::test {

// A host that records what the engine asked of the window and answers questions
// with a preset answer. Safe to call from the worker thread.
class CRecordingHost : public IHost {
 public:
  struct SMessage {
    std::string strText;
    EMsgIcon eIcon;
    bool operator==(const SMessage&) const = default;
  };

  void ShowMessage(const std::string& strText, EMsgIcon eIcon) override {
    std::lock_guard lock(m_mutex);
    m_arrMessages.push_back({strText, eIcon});
  }
  bool AskYesNo(const std::string& strText) override {
    std::lock_guard lock(m_mutex);
    m_arrQuestions.push_back(strText);
    return m_bNextAnswer;
  }
  void OpenDocument(const std::string& strPath) override {
    if (m_onOpenDocument) m_onOpenDocument(strPath);
    std::lock_guard lock(m_mutex);
    m_arrOpened.push_back(strPath);
  }
  void FocusClose() override {
    std::lock_guard lock(m_mutex);
    ++m_nFocusRequests;
  }
  void RequestClose() override {
    if (m_onRequestClose) m_onRequestClose();
    std::lock_guard lock(m_mutex);
    ++m_nCloseRequests;
  }

  // Run on the calling thread when the request arrives; set before the run.
  std::function<void(const std::string&)> m_onOpenDocument;
  std::function<void()> m_onRequestClose;

  void SetNextAnswer(bool bYes) {
    std::lock_guard lock(m_mutex);
    m_bNextAnswer = bYes;
  }
  std::vector<SMessage> Messages() const {
    std::lock_guard lock(m_mutex);
    return m_arrMessages;
  }
  std::vector<std::string> Questions() const {
    std::lock_guard lock(m_mutex);
    return m_arrQuestions;
  }
  std::vector<std::string> Opened() const {
    std::lock_guard lock(m_mutex);
    return m_arrOpened;
  }
  int FocusRequests() const {
    std::lock_guard lock(m_mutex);
    return m_nFocusRequests;
  }
  int CloseRequests() const {
    std::lock_guard lock(m_mutex);
    return m_nCloseRequests;
  }

 private:
  mutable std::mutex m_mutex;
  bool m_bNextAnswer = false;
  std::vector<SMessage> m_arrMessages;
  std::vector<std::string> m_arrQuestions;
  std::vector<std::string> m_arrOpened;
  int m_nFocusRequests = 0;
  int m_nCloseRequests = 0;
};

}  // namespace quillmere::test
