#include "platform/CurlHttp.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/LoopbackHttpServer.h"

namespace quillmere {
namespace {

using namespace std::chrono_literals;
using test::CLoopbackHttpServer;
using test::Redirect;
using test::Reply;
using test::SCannedReply;

// A proxy set on the machine must not divert the requests meant for the loopback server.
class CNoProxyEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    for (const char* pszName :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      ::unsetenv(pszName);
    }
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
    ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  }
};
[[maybe_unused]] ::testing::Environment* const g_pNoProxy =
    ::testing::AddGlobalTestEnvironment(new CNoProxyEnvironment);

std::string Name(EHttpOutcome eOutcome) {
  switch (eOutcome) {
    case EHttpOutcome::Completed:
      return "Completed";
    case EHttpOutcome::Refused:
      return "Refused";
    case EHttpOutcome::Aborted:
      return "Aborted";
    case EHttpOutcome::Failed:
      return "Failed";
  }
  return "?";
}

// Bytes that differ from piece to piece, so a lost, repeated or reordered piece shows.
std::string Pattern(size_t nSize) {
  std::string str(nSize, '\0');
  for (size_t i = 0; i < nSize; ++i) str[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
  return str;
}

// What the callbacks of one Get saw.
struct SSeen {
  std::vector<SHttpHead> arrHeads;
  std::vector<std::string> arrPieces;
  bool bPieceBeforeHead = false;

  std::string Body() const {
    std::string str;
    for (const auto& strPiece : arrPieces) str += strPiece;
    return str;
  }
};

// A request whose callbacks record into *pSeen and accept everything.
SHttpRequest Request(std::string strUrl, SSeen* pSeen) {
  SHttpRequest request;
  request.strUrl = std::move(strUrl);
  request.strAgent = "quillmere-test";
  request.onHead = [pSeen](const SHttpHead& head) {
    pSeen->arrHeads.push_back(head);
    return true;
  };
  request.onBody = [pSeen](std::string_view piece) {
    if (pSeen->arrHeads.empty()) pSeen->bPieceBeforeHead = true;
    pSeen->arrPieces.emplace_back(piece);
    return true;
  };
  return request;
}

// A port on 127.0.0.1 that nothing listens on: bound for a moment, then released.
std::uint16_t UnusedPort() {
  int nFd = ::socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_GE(nFd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t nLen = sizeof addr;
  EXPECT_EQ(::bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(::getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen), 0);
  ::close(nFd);
  return ntohs(addr.sin_port);
}

TEST(CurlHttpTest, FetchesAndReportsTheFinalResponse) {
  const std::string strLarge = Pattern(1 << 20);
  struct SCase {
    const char* pszName;
    std::vector<std::pair<std::string, SCannedReply>> arrRoutes;
    std::string strTarget;
    EHttpOutcome eOutcome;
    bool bHeadDelivered;
    long nStatus;
    std::optional<std::uint64_t> nLength;
    std::string strBody;
  };
  const SCase arrCases[] = {
      {"OkWithBody",
       {{"/file", Reply("hello, world\n")}},
       "/file",
       EHttpOutcome::Completed,
       true,
       200,
       13,
       "hello, world\n"},
      {"LargeBodyInPieces",
       {{"/large", Reply(strLarge)}},
       "/large",
       EHttpOutcome::Completed,
       true,
       200,
       strLarge.size(),
       strLarge},
      {"NotFoundIsStillAResponse",
       {{"/gone", Reply("no such file", 404)}},
       "/gone",
       EHttpOutcome::Completed,
       true,
       404,
       12,
       "no such file"},
      // The redirect's own body and Content-Length must not leak into what is reported.
      {"RedirectDeliversTheFinalResponseOnly",
       {{"/old", Redirect("/new").WithBody("the redirect's own body")},
        {"/new", Reply("final body").WithoutLength()}},
       "/old",
       EHttpOutcome::Completed,
       true,
       200,
       std::nullopt,
       "final body"},
      {"EmptyBodyStillGetsItsHead",
       {{"/empty", Reply("")}},
       "/empty",
       EHttpOutcome::Completed,
       true,
       200,
       0,
       ""},
      {"NoContentLength",
       {{"/open", Reply("until closed").WithoutLength()}},
       "/open",
       EHttpOutcome::Completed,
       true,
       200,
       std::nullopt,
       "until closed"},
      {"ShortBodyFails",
       {{"/short", Reply("0123456789").WithDeclaredLength(1000)}},
       "/short",
       EHttpOutcome::Failed,
       true,
       200,
       1000,
       "0123456789"},
      {"RedirectLoopFails",
       {{"/loop", Redirect("/loop")}},
       "/loop",
       EHttpOutcome::Failed,
       false,
       302,
       std::nullopt,
       ""},
  };

  CCurlHttp http;  // one object for all: a Get must leave nothing behind for the next
  for (const SCase& c : arrCases) {
    SCOPED_TRACE(c.pszName);
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Ok());
    for (const auto& [strTarget, reply] : c.arrRoutes) server.Serve(strTarget, reply);

    SSeen seen;
    SHttpResult result = http.Get(Request(server.BaseUrl() + c.strTarget, &seen));

    EXPECT_EQ(Name(result.eOutcome), Name(c.eOutcome)) << result.strError;
    EXPECT_EQ(result.strError.empty(), c.eOutcome != EHttpOutcome::Failed) << result.strError;
    EXPECT_EQ(result.head.nStatus, c.nStatus);
    EXPECT_FALSE(seen.bPieceBeforeHead);
    EXPECT_EQ(seen.Body(), c.strBody);
    if (!c.bHeadDelivered) {
      EXPECT_TRUE(seen.arrHeads.empty());
      continue;
    }
    ASSERT_EQ(seen.arrHeads.size(), 1u);
    EXPECT_EQ(seen.arrHeads[0].nStatus, c.nStatus);
    EXPECT_EQ(seen.arrHeads[0].nContentLength, c.nLength);
    EXPECT_EQ(result.head.nContentLength, c.nLength);
  }
}

TEST(CurlHttpTest, CallbacksEndTheTransfer) {
  const std::string strLarge = Pattern(1 << 20);
  enum class EAction { Refuse, Throw, RaiseAbort };
  struct SCase {
    const char* pszName;
    std::string strBody;
    bool bAtHead;  // act in onHead; else at the first piece of the body
    EAction eAction;
    EHttpOutcome eOutcome;
    std::optional<size_t> nPieces;  // pieces delivered in all; nullopt: not fixed
  };
  const SCase arrCases[] = {
      {"HeadRefused", strLarge, true, EAction::Refuse, EHttpOutcome::Refused, 0},
      {"HeadRefusedWithEmptyBody", "", true, EAction::Refuse, EHttpOutcome::Refused, 0},
      {"HeadThrows", strLarge, true, EAction::Throw, EHttpOutcome::Failed, 0},
      {"HeadThrowsWithEmptyBody", "", true, EAction::Throw, EHttpOutcome::Failed, 0},
      {"FirstPieceRefused", strLarge, false, EAction::Refuse, EHttpOutcome::Refused, 1},
      {"FirstPieceThrows", strLarge, false, EAction::Throw, EHttpOutcome::Failed, 1},
      {"AbortRaisedWhileTheBodyArrives", strLarge, false, EAction::RaiseAbort,
       EHttpOutcome::Aborted, std::nullopt},
  };

  CCurlHttp http;
  for (const SCase& c : arrCases) {
    SCOPED_TRACE(c.pszName);
    CLoopbackHttpServer server;
    ASSERT_TRUE(server.Ok());
    server.Serve("/file", Reply(c.strBody));

    std::atomic<bool> bAbort{false};
    auto act = [&] {
      switch (c.eAction) {
        case EAction::Refuse:
          return false;
        case EAction::Throw:
          throw std::runtime_error("handler broke");
        case EAction::RaiseAbort:
          bAbort = true;
          return true;
      }
      return true;
    };
    SSeen seen;
    SHttpRequest request = Request(server.BaseUrl() + "/file", &seen);
    request.pAbort = &bAbort;
    if (c.bAtHead) {
      request.onHead = [&seen, &act](const SHttpHead& head) {
        seen.arrHeads.push_back(head);
        return act();
      };
    } else {
      request.onBody = [&seen, &act](std::string_view piece) {
        seen.arrPieces.emplace_back(piece);
        return seen.arrPieces.size() == 1 ? act() : true;
      };
    }

    SHttpResult result = http.Get(request);

    EXPECT_EQ(Name(result.eOutcome), Name(c.eOutcome)) << result.strError;
    if (c.eAction == EAction::Throw) {
      EXPECT_NE(result.strError.find("handler broke"), std::string::npos) << result.strError;
    }
    if (c.nPieces) {
      EXPECT_EQ(seen.arrPieces.size(), *c.nPieces);
    } else {
      EXPECT_LT(seen.Body().size(), strLarge.size());
    }
    if (c.bAtHead) {
      EXPECT_EQ(seen.arrHeads.size(), 1u);
    }
  }
}

TEST(CurlHttpTest, FetchesHttpOnlyAlsoAfterARedirect) {
  CLoopbackHttpServer server;
  ASSERT_TRUE(server.Ok());
  const std::string strHostPort = "127.0.0.1:" + std::to_string(server.Port());
  server.Serve("/file", Reply("served"));
  server.Serve("/to-file", Redirect("file:///etc/passwd"));
  server.Serve("/to-ftp", Redirect("ftp://" + strHostPort + "/file"));

  struct SCase {
    const char* pszName;
    std::string strUrl;
    EHttpOutcome eOutcome;
    std::vector<std::string> arrTargets;  // what the server is asked for
  };
  const SCase arrCases[] = {
      {"Ftp", "ftp://" + strHostPort + "/file", EHttpOutcome::Failed, {}},
      {"File", "file:///etc/passwd", EHttpOutcome::Failed, {}},
      {"NotAUrl", "not a url", EHttpOutcome::Failed, {}},
      {"Empty", "", EHttpOutcome::Failed, {}},
      // libcurl alone would guess http:// here and fetch.
      {"NoScheme", strHostPort + "/file", EHttpOutcome::Failed, {}},
      {"RedirectToFile", server.BaseUrl() + "/to-file", EHttpOutcome::Failed, {"/to-file"}},
      {"RedirectToFtp", server.BaseUrl() + "/to-ftp", EHttpOutcome::Failed, {"/to-ftp"}},
      {"UpperCaseHttpIsHttp",
       "HTTP://" + strHostPort + "/file",
       EHttpOutcome::Completed,
       {"/file"}},
  };

  CCurlHttp http;
  size_t nTargetsBefore = 0;
  for (const SCase& c : arrCases) {
    SCOPED_TRACE(c.pszName);
    SSeen seen;
    SHttpResult result = http.Get(Request(c.strUrl, &seen));

    EXPECT_EQ(Name(result.eOutcome), Name(c.eOutcome)) << result.strError;
    std::vector<std::string> arrTargets = server.Targets();
    arrTargets.erase(arrTargets.begin(), arrTargets.begin() + nTargetsBefore);
    nTargetsBefore += arrTargets.size();
    EXPECT_EQ(arrTargets, c.arrTargets);
    if (c.eOutcome == EHttpOutcome::Failed) {
      EXPECT_FALSE(result.strError.empty());
      EXPECT_TRUE(seen.arrHeads.empty());
      EXPECT_TRUE(seen.arrPieces.empty());
    } else {
      EXPECT_EQ(seen.Body(), "served");
    }
  }
}

TEST(CurlHttpTest, AbortEndsATransferThatWaitsForTheServer) {
  CLoopbackHttpServer server;
  ASSERT_TRUE(server.Ok());
  server.Serve("/slow", Reply("late").WithDelay(30s));

  std::atomic<bool> bAbort{false};
  std::thread raiser([&] {
    // Raised once the request is waiting, so it is the running transfer that ends.
    EXPECT_TRUE(server.WaitForRequest("/slow", 20s));
    bAbort = true;
  });
  SSeen seen;
  SHttpRequest request = Request(server.BaseUrl() + "/slow", &seen);
  request.pAbort = &bAbort;
  SHttpResult result = CCurlHttp().Get(request);
  raiser.join();

  EXPECT_EQ(Name(result.eOutcome), Name(EHttpOutcome::Aborted)) << result.strError;
  EXPECT_TRUE(seen.arrHeads.empty());
  EXPECT_TRUE(seen.arrPieces.empty());
}

TEST(CurlHttpTest, AbortRaisedBeforehandFetchesNothing) {
  CLoopbackHttpServer server;
  ASSERT_TRUE(server.Ok());
  server.Serve("/slow", Reply("late").WithDelay(30s));

  const std::atomic<bool> bAbort{true};
  SSeen seen;
  SHttpRequest request = Request(server.BaseUrl() + "/slow", &seen);
  request.pAbort = &bAbort;
  SHttpResult result = CCurlHttp().Get(request);

  EXPECT_EQ(Name(result.eOutcome), Name(EHttpOutcome::Aborted)) << result.strError;
  EXPECT_TRUE(seen.arrHeads.empty());
  EXPECT_TRUE(seen.arrPieces.empty());
}

TEST(CurlHttpTest, TotalTimeLimitEndsASilentServer) {
  CLoopbackHttpServer server;
  ASSERT_TRUE(server.Ok());
  server.Serve("/slow", Reply("late").WithDelay(30s));

  SSeen seen;
  SHttpRequest request = Request(server.BaseUrl() + "/slow", &seen);
  request.tTotal = 1s;
  SHttpResult result = CCurlHttp().Get(request);

  EXPECT_EQ(Name(result.eOutcome), Name(EHttpOutcome::Failed));
  EXPECT_FALSE(result.strError.empty());
  EXPECT_TRUE(seen.arrHeads.empty());
}

TEST(CurlHttpTest, NoServerFailsWithAReason) {
  SSeen seen;
  SHttpResult result =
      CCurlHttp().Get(Request("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/", &seen));

  EXPECT_EQ(Name(result.eOutcome), Name(EHttpOutcome::Failed));
  EXPECT_FALSE(result.strError.empty());
  EXPECT_TRUE(seen.arrHeads.empty());
}

TEST(CurlHttpTest, UserAgentIsSentAlsoAfterARedirect) {
  CLoopbackHttpServer server;
  ASSERT_TRUE(server.Ok());
  server.Serve("/old", Redirect(server.BaseUrl() + "/new", 301));
  server.Serve("/new", Reply("here"));

  SSeen seen;
  SHttpRequest request = Request(server.BaseUrl() + "/old", &seen);
  request.strAgent = "Quillmere/9.9 (X11; test)";
  SHttpResult result = CCurlHttp().Get(request);

  EXPECT_EQ(Name(result.eOutcome), Name(EHttpOutcome::Completed)) << result.strError;
  EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/old", "/new"}));
  EXPECT_EQ(server.UserAgents(),
            (std::vector<std::string>{"Quillmere/9.9 (X11; test)", "Quillmere/9.9 (X11; test)"}));
}

// The loopback server's routing, which other tests rely on for queries that change.
TEST(LoopbackHttpServerTest, RoutesByPathWhenNoExactTargetIsServed) {
  CLoopbackHttpServer server;
  ASSERT_TRUE(server.Ok());
  server.ServePath("/check", Reply("any query"));
  server.Serve("/check?id=exact", Reply("exact"));

  CCurlHttp http;
  struct SCase {
    const char* pszName;
    std::string strTarget;
    long nStatus;
    std::string strBody;
  };
  const SCase arrCases[] = {
      {"QueryIgnored", "/check?id=1234", 200, "any query"},
      {"NoQuery", "/check", 200, "any query"},
      {"ExactTargetWins", "/check?id=exact", 200, "exact"},
      {"OtherPath", "/checkout?id=1", 404, "not found\n"},
  };
  for (const SCase& c : arrCases) {
    SCOPED_TRACE(c.pszName);
    SSeen seen;
    SHttpResult result = http.Get(Request(server.BaseUrl() + c.strTarget, &seen));
    EXPECT_EQ(Name(result.eOutcome), Name(EHttpOutcome::Completed)) << result.strError;
    EXPECT_EQ(result.head.nStatus, c.nStatus);
    EXPECT_EQ(seen.Body(), c.strBody);
    EXPECT_EQ(server.Targets().back(), c.strTarget);
  }
}

}  // namespace
}  // namespace quillmere
