#pragma once

#include "platform/Http.h"

namespace quillmere {

// IHttp over libcurl. Follows at most five redirects, and only to http and https;
// gives up on a connection that is not made within 15 s, or on a transfer that receives
// nothing for 30 s. Proxies come from the usual environment variables (http_proxy,
// https_proxy, no_proxy, ...). Asks for no compression, so the body arrives as the
// server sent it and its size matches Content-Length. An exception thrown by a callback
// does not leave Get: it ends the transfer as EHttpOutcome::Failed.
//
// The object keeps no state between calls; each Get makes and frees its own curl
// handles. Any thread may call, one call per object at a time (see IHttp).
class CCurlHttp final : public IHttp {
 public:
  // Initialises libcurl for the process on first use.
  CCurlHttp();

  SHttpResult Get(const SHttpRequest& request) override;
};

}  // namespace quillmere
