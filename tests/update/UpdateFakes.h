#pragma once

#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/File.h"
#include "platform/Http.h"
#include "platform/Profile.h"
#include "update/UpdateCheck.h"

namespace quillmere::test {

// The first 64 bytes of the running test program: an ELF header of this machine, which
// the update check takes as that of a program it may install.
inline std::string OwnElfHeader() {
  std::string strHeader;
  CFile self;
  if (self.OpenRead("/proc/self/exe") || self.ReadSome(64, &strHeader)) return std::string();
  return strHeader;
}

// An HTTP client with canned responses by URL; an unknown URL fails as a refused
// connection would. Records every URL asked for.
class CCannedHttp final : public IHttp {
 public:
  struct SResponse {
    EHttpOutcome eOutcome = EHttpOutcome::Completed;  // of the transfer, if not refused
    SHttpHead head{200, std::nullopt};
    std::vector<std::string> arrPieces;  // the body as it arrives
  };

  // A complete response carrying its length.
  static SResponse Body(std::string strBody, long nStatus = 200) {
    SResponse response;
    response.head = {nStatus, strBody.size()};
    response.arrPieces.push_back(std::move(strBody));
    return response;
  }

  void Set(const std::string& strUrl, SResponse response) {
    std::lock_guard lock(m_mutex);
    m_mapResponses[strUrl] = std::move(response);
  }
  // Until released, a request for strUrl waits, as a silent server does, for the abort.
  void Hang(const std::string& strUrl) {
    std::lock_guard lock(m_mutex);
    m_strHangUrl = strUrl;
  }

  SHttpResult Get(const SHttpRequest& request) override {
    std::optional<SResponse> response;
    bool bHang = false;
    {
      std::lock_guard lock(m_mutex);
      m_arrUrls.push_back(request.strUrl);
      m_arrAgents.push_back(request.strAgent);
      bHang = request.strUrl == m_strHangUrl;
      if (auto it = m_mapResponses.find(request.strUrl); it != m_mapResponses.end()) {
        response = it->second;
      }
    }
    if (bHang) {
      m_bHanging = true;
      while (!request.pAbort || !*request.pAbort) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      return {EHttpOutcome::Aborted, {}, ""};
    }
    if (!response) return {EHttpOutcome::Failed, {}, "connection refused"};
    if (request.onHead && !request.onHead(response->head)) {
      return {EHttpOutcome::Refused, response->head, ""};
    }
    for (const std::string& strPiece : response->arrPieces) {
      if (request.onBody && !request.onBody(strPiece)) {
        return {EHttpOutcome::Refused, response->head, ""};
      }
    }
    return {response->eOutcome, response->head, ""};
  }

  std::vector<std::string> Urls() const {
    std::lock_guard lock(m_mutex);
    return m_arrUrls;
  }
  std::vector<std::string> Agents() const {
    std::lock_guard lock(m_mutex);
    return m_arrAgents;
  }
  std::atomic<bool> m_bHanging{false};

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, SResponse> m_mapResponses;
  std::string m_strHangUrl;
  std::vector<std::string> m_arrUrls;
  std::vector<std::string> m_arrAgents;
};

// A profile in memory.
class CMemProfile final : public IProfile {
 public:
  std::uint32_t GetInt(const std::string& strSection, const std::string& strKey) override {
    std::lock_guard lock(m_mutex);
    auto it = m_mapValues.find(strSection + "/" + strKey);
    return it == m_mapValues.end() ? 0 : it->second;
  }
  void WriteInt(const std::string& strSection, const std::string& strKey,
                std::uint32_t nValue) override {
    std::lock_guard lock(m_mutex);
    m_mapValues[strSection + "/" + strKey] = nValue;
  }
  // The stored value, or nothing when the key was never written.
  std::optional<std::uint32_t> Find(const std::string& strKey) const {
    std::lock_guard lock(m_mutex);
    auto it = m_mapValues.find(std::string(kProfileSection) + "/" + strKey);
    if (it == m_mapValues.end()) return std::nullopt;
    return it->second;
  }

 private:
  mutable std::mutex m_mutex;
  std::map<std::string, std::uint32_t> m_mapValues;
};

// A host that answers the question as told (or never), and records what was asked,
// started and requested.
class CRecordingUpdateHost final : public IUpdateHost {
 public:
  enum class EAnswer { Yes, No, Never };

  explicit CRecordingUpdateHost(EAnswer eAnswer = EAnswer::Yes) : m_eAnswer(eAnswer) {}

  std::future<bool> AskYesNo(const std::string& strText) override {
    std::lock_guard lock(m_mutex);
    m_arrQuestions.push_back(strText);
    std::promise<bool>& answer = m_arrPromises.emplace_back();
    if (m_eAnswer != EAnswer::Never) answer.set_value(m_eAnswer == EAnswer::Yes);
    return answer.get_future();
  }
  bool StartScript(const std::string& strDir, const std::string& strScript) override {
    std::lock_guard lock(m_mutex);
    m_arrStarted.push_back(strDir + strScript);
    return m_bStartWorks;
  }
  void RequestClose() override {
    std::lock_guard lock(m_mutex);
    ++m_nCloseRequests;
  }

  std::vector<std::string> Questions() const {
    std::lock_guard lock(m_mutex);
    return m_arrQuestions;
  }
  std::vector<std::string> Started() const {
    std::lock_guard lock(m_mutex);
    return m_arrStarted;
  }
  int CloseRequests() const {
    std::lock_guard lock(m_mutex);
    return m_nCloseRequests;
  }

  bool m_bStartWorks = true;  // set before the check starts

 private:
  const EAnswer m_eAnswer;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_arrQuestions;
  std::vector<std::promise<bool>> m_arrPromises;  // kept, so "never" stays unanswered
  std::vector<std::string> m_arrStarted;
  int m_nCloseRequests = 0;
};

}  // namespace quillmere::test
