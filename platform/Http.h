#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quillmere {

// The status line and the headers of the final response (after redirects).
struct SHttpHead {
  long nStatus = 0;                             // e.g. 200, 404
  std::optional<std::uint64_t> nContentLength;  // absent when the server sent none
};

struct SHttpRequest {
  std::string strUrl;    // only http:// and https:// are fetched, also after a redirect
  std::string strAgent;  // the User-Agent header
  // The whole transfer may take at most this long (zero: no limit). A transfer that
  // stalls fails anyway, so this bounds small answers only.
  std::chrono::seconds tTotal{0};
  // Read while the transfer runs; once true, the transfer ends soon (within about a
  // tenth of a second) as EHttpOutcome::Aborted. May be null.
  const std::atomic<bool>* pAbort = nullptr;
  // Called once, before the first byte of the body (or at the end when the body is
  // empty); not at all when the transfer fails or is aborted before then. Returning
  // false ends the transfer as EHttpOutcome::Refused. May be empty.
  std::function<bool(const SHttpHead&)> onHead;
  // Called with each piece of the body, in order. Returning false ends the transfer as
  // EHttpOutcome::Refused. May be empty (the body is then dropped).
  std::function<bool(std::string_view)> onBody;
};

enum class EHttpOutcome {
  Completed,  // the whole response was received
  Refused,    // onHead or onBody asked to stop
  Aborted,    // the abort flag was raised
  Failed,     // anything else: bad URL or scheme, no connection, timeout, broken transfer
};

struct SHttpResult {
  EHttpOutcome eOutcome = EHttpOutcome::Failed;
  SHttpHead head;        // as far as it was received
  std::string strError;  // for Failed: what went wrong, in words
};

// A plain GET over HTTP or HTTPS, the body handed over in pieces as it arrives. Proxies
// are taken from the environment, as other programs do. An object may be used by one
// thread at a time; the callbacks run on the calling thread.
class IHttp {
 public:
  virtual ~IHttp() = default;
  virtual SHttpResult Get(const SHttpRequest& request) = 0;
};

}  // namespace quillmere
