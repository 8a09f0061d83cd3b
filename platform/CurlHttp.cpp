#include "platform/CurlHttp.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace quillmere {

namespace {

constexpr long kConnectTimeoutSeconds = 15;
// A transfer slower than 1 byte/s for this long is taken as stalled.
constexpr long kStallSeconds = 30;
constexpr long kMaxRedirects = 5;
// How long one wait for the network may last: the abort flag is looked at in between.
constexpr int kPollMilliseconds = 50;

struct SEasyDeleter {
  void operator()(CURL* p) const { curl_easy_cleanup(p); }
};
struct SMultiDeleter {
  void operator()(CURLM* p) const { curl_multi_cleanup(p); }
};
struct SUrlDeleter {
  void operator()(CURLU* p) const { curl_url_cleanup(p); }
};
using CEasyPtr = std::unique_ptr<CURL, SEasyDeleter>;
using CMultiPtr = std::unique_ptr<CURLM, SMultiDeleter>;
using CUrlPtr = std::unique_ptr<CURLU, SUrlDeleter>;

// Keeps an easy handle in a multi handle for one scope; it must leave before either
// handle is freed.
class CMultiMembership {
 public:
  CMultiMembership(CURLM* pMulti, CURL* pEasy) : m_pMulti(pMulti), m_pEasy(pEasy) {
    m_bAdded = curl_multi_add_handle(m_pMulti, m_pEasy) == CURLM_OK;
  }
  ~CMultiMembership() {
    if (m_bAdded) curl_multi_remove_handle(m_pMulti, m_pEasy);
  }
  CMultiMembership(const CMultiMembership&) = delete;
  CMultiMembership& operator=(const CMultiMembership&) = delete;
  bool Ok() const { return m_bAdded; }

 private:
  CURLM* m_pMulti;
  CURL* m_pEasy;
  bool m_bAdded = false;
};

// Why the transfer was ended from our side, if it was.
enum class EStop { None, Refused, Aborted, Thrown };

// What the C callbacks share with Get.
struct STransfer {
  const SHttpRequest* pRequest = nullptr;
  CURL* pEasy = nullptr;
  bool bHeadDelivered = false;
  EStop eStop = EStop::None;
  std::string strThrown;  // what() of an exception a callback threw

  bool AbortRaised() const {
    return pRequest->pAbort != nullptr && pRequest->pAbort->load(std::memory_order_relaxed);
  }
};

SHttpHead ReadHead(CURL* pEasy) {
  SHttpHead head;
  long nStatus = 0;
  if (curl_easy_getinfo(pEasy, CURLINFO_RESPONSE_CODE, &nStatus) == CURLE_OK) {
    head.nStatus = nStatus;
  }
  curl_off_t nLength = -1;
  if (curl_easy_getinfo(pEasy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nLength) == CURLE_OK &&
      nLength >= 0) {
    head.nContentLength = static_cast<std::uint64_t>(nLength);
  }
  return head;
}

// Runs one of the caller's callbacks; false when it refused or threw (and says which).
// Exceptions must not unwind through libcurl's C frames, so they stop here.
template <typename FCall>
bool RunCallback(STransfer& transfer, FCall&& fnCall) {
  try {
    if (fnCall()) return true;
    transfer.eStop = EStop::Refused;
  } catch (const std::exception& e) {
    transfer.eStop = EStop::Thrown;
    transfer.strThrown = e.what();
  } catch (...) {
    transfer.eStop = EStop::Thrown;
    transfer.strThrown = "an unknown exception";
  }
  return false;
}

bool DeliverHead(STransfer& transfer) {
  transfer.bHeadDelivered = true;
  const auto& onHead = transfer.pRequest->onHead;
  if (!onHead) return true;
  SHttpHead head = ReadHead(transfer.pEasy);
  return RunCallback(transfer, [&] { return onHead(head); });
}

// Any return other than nSize * nCount makes libcurl end the transfer with
// CURLE_WRITE_ERROR; STransfer::eStop then says why.
size_t OnWrite(char* pData, size_t nSize, size_t nCount, void* pUser) {
  auto& transfer = *static_cast<STransfer*>(pUser);
  const size_t nBytes = nSize * nCount;
  if (transfer.AbortRaised()) {
    transfer.eStop = EStop::Aborted;
    return 0;
  }
  // With redirects followed, libcurl passes on the final response's body only, so the
  // first byte that arrives here belongs to the head that is read now.
  if (!transfer.bHeadDelivered && !DeliverHead(transfer)) return 0;
  const auto& onBody = transfer.pRequest->onBody;
  if (onBody && nBytes > 0 &&
      !RunCallback(transfer, [&] { return onBody(std::string_view(pData, nBytes)); })) {
    return 0;
  }
  return nBytes;
}

// Called by libcurl about once a second even while nothing arrives, and during the
// blocking parts of a transfer (TLS handshake) the poll loop cannot see.
int OnProgress(void* pUser, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& transfer = *static_cast<STransfer*>(pUser);
  if (!transfer.AbortRaised()) return 0;
  transfer.eStop = EStop::Aborted;
  return 1;
}

void InitCurlOnce() {
  static std::once_flag s_once;
  std::call_once(s_once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

SHttpResult Fail(std::string strError) {
  SHttpResult result;
  result.eOutcome = EHttpOutcome::Failed;
  result.strError = std::move(strError);
  return result;
}

// libcurl would also fetch file://, ftp:// and more, and would guess http for an
// address without a scheme; such an address is refused here before anything is opened.
std::string CheckUrl(const std::string& strUrl) {
  CUrlPtr pUrl(curl_url());
  if (!pUrl) return "out of memory";
  if (curl_url_set(pUrl.get(), CURLUPART_URL, strUrl.c_str(), 0) != CURLUE_OK) {
    return "not a valid web address: \"" + strUrl + "\"";
  }
  char* pszScheme = nullptr;
  if (curl_url_get(pUrl.get(), CURLUPART_SCHEME, &pszScheme, 0) != CURLUE_OK ||
      pszScheme == nullptr) {
    return "not a valid web address: \"" + strUrl + "\"";
  }
  std::string strScheme(pszScheme);
  curl_free(pszScheme);
  std::transform(strScheme.begin(), strScheme.end(), strScheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (strScheme != "http" && strScheme != "https") {
    return "only http and https addresses are fetched, not \"" + strScheme + "\"";
  }
  return std::string();
}

// Sets every option, stopping at the first that libcurl rejects.
CURLcode Configure(CURL* pEasy, const SHttpRequest& request, STransfer* pTransfer,
                   char* pszErrorBuffer) {
  CURLcode rc = CURLE_OK;
  auto set = [&](CURLoption eOption, auto value) {
    if (rc == CURLE_OK) rc = curl_easy_setopt(pEasy, eOption, value);
  };
  set(CURLOPT_ERRORBUFFER, pszErrorBuffer);
  set(CURLOPT_URL, request.strUrl.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
  set(CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
  set(CURLOPT_REDIR_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
  set(CURLOPT_FOLLOWLOCATION, 1L);
  set(CURLOPT_MAXREDIRS, kMaxRedirects);
  set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  set(CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  if (request.tTotal.count() > 0) set(CURLOPT_TIMEOUT, static_cast<long>(request.tTotal.count()));
  // Timeouts through signals would reach whatever else the process runs.
  set(CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
  // An abort during name resolution must not wait for the resolver thread to finish.
  set(CURLOPT_QUICK_EXIT, 1L);
#endif
  set(CURLOPT_USERAGENT, request.strAgent.c_str());
  // Error statuses arrive as responses: the caller judges them.
  set(CURLOPT_FAILONERROR, 0L);
  set(CURLOPT_WRITEFUNCTION, &OnWrite);
  set(CURLOPT_WRITEDATA, static_cast<void*>(pTransfer));
  set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
  set(CURLOPT_XFERINFODATA, static_cast<void*>(pTransfer));
  set(CURLOPT_NOPROGRESS, 0L);
  return rc;
}

}  // namespace

CCurlHttp::CCurlHttp() { InitCurlOnce(); }

SHttpResult CCurlHttp::Get(const SHttpRequest& request) {
  STransfer transfer;
  transfer.pRequest = &request;
  if (transfer.AbortRaised()) {
    SHttpResult result;
    result.eOutcome = EHttpOutcome::Aborted;
    return result;
  }
  if (std::string strError = CheckUrl(request.strUrl); !strError.empty()) return Fail(strError);

  // Declared before the handles, which may use it until they are freed.
  char szError[CURL_ERROR_SIZE] = {};
  CEasyPtr pEasy(curl_easy_init());
  CMultiPtr pMulti(curl_multi_init());
  if (!pEasy || !pMulti) return Fail("cannot set up a transfer (out of memory)");
  transfer.pEasy = pEasy.get();

  if (CURLcode rc = Configure(pEasy.get(), request, &transfer, szError); rc != CURLE_OK) {
    return Fail(curl_easy_strerror(rc));
  }
  CMultiMembership membership(pMulti.get(), pEasy.get());
  if (!membership.Ok()) return Fail("cannot set up a transfer");

  std::optional<CURLcode> rcTransfer;  // set once libcurl reports the transfer done
  bool bDone = false;
  while (!bDone) {
    int nRunning = 0;
    if (CURLMcode rc = curl_multi_perform(pMulti.get(), &nRunning); rc != CURLM_OK) {
      return Fail(curl_multi_strerror(rc));
    }
    if (nRunning == 0) {
      int nQueued = 0;
      while (CURLMsg* pMsg = curl_multi_info_read(pMulti.get(), &nQueued)) {
        if (pMsg->msg == CURLMSG_DONE && pMsg->easy_handle == pEasy.get()) {
          rcTransfer = pMsg->data.result;
        }
      }
      bDone = true;
    } else if (transfer.AbortRaised()) {
      transfer.eStop = EStop::Aborted;
      bDone = true;
    } else if (CURLMcode rcPoll =
                   curl_multi_poll(pMulti.get(), nullptr, 0, kPollMilliseconds, nullptr);
               rcPoll != CURLM_OK) {
      return Fail(curl_multi_strerror(rcPoll));
    }
  }

  // An empty body never reaches OnWrite; the head is handed over now instead.
  if (transfer.eStop == EStop::None && rcTransfer == CURLE_OK && !transfer.bHeadDelivered) {
    DeliverHead(transfer);
  }

  SHttpResult result;
  result.head = ReadHead(pEasy.get());
  switch (transfer.eStop) {
    case EStop::Refused:
      result.eOutcome = EHttpOutcome::Refused;
      return result;
    case EStop::Aborted:
      result.eOutcome = EHttpOutcome::Aborted;
      return result;
    case EStop::Thrown:
      result.eOutcome = EHttpOutcome::Failed;
      result.strError = "the response could not be processed: " + transfer.strThrown;
      return result;
    case EStop::None:
      break;
  }
  if (!rcTransfer) {
    result.eOutcome = EHttpOutcome::Failed;
    result.strError = "the transfer ended without a result";
  } else if (*rcTransfer == CURLE_OK) {
    result.eOutcome = EHttpOutcome::Completed;
  } else {
    result.eOutcome = EHttpOutcome::Failed;
    result.strError = szError[0] != '\0' ? szError : curl_easy_strerror(*rcTransfer);
  }
  return result;
}

}  // namespace quillmere
