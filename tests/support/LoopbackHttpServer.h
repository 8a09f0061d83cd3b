#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillmere::test {

// Which Content-Length header a canned reply carries.
enum class EContentLength {
  BodySize,  // the body's own size
  None,      // no header: the end of the body is marked by closing the connection
  Declared,  // SCannedReply::nDeclaredLength, which may exceed the body (a short body)
};

// One canned response. Build it with Reply or Redirect and the With... helpers:
//   Reply("no such file", 404)   Reply("late").WithDelay(30s)   Redirect("/new")
struct SCannedReply {
  int nStatus = 200;
  std::string strBody;
  EContentLength eLength = EContentLength::BodySize;
  std::uint64_t nDeclaredLength = 0;  // sent for EContentLength::Declared only
  std::string strLocation;            // adds a Location header (for redirects)
  // Waits this long after the request before answering. The wait ends early, without an
  // answer, when the client disconnects or the server is destroyed.
  std::chrono::milliseconds tDelay{0};

  SCannedReply WithBody(std::string strText) const;
  // No Content-Length: the connection is closed after the body.
  SCannedReply WithoutLength() const;
  // Content-Length nLength whatever the body's size (more than it: a short body).
  SCannedReply WithDeclaredLength(std::uint64_t nLength) const;
  SCannedReply WithDelay(std::chrono::milliseconds tWait) const;
};

SCannedReply Reply(std::string strBody, int nStatus = 200);
SCannedReply Redirect(std::string strLocation, int nStatus = 302);

// A throwaway HTTP/1.1 server on 127.0.0.1 for tests: one thread, one connection at a
// time, every connection closed after its reply. Reads the request head only (no request
// bodies). Unknown targets get 404. POSIX sockets only: no Qt, no curl.
//
// Serve/ServePath may be called from any thread at any time; so may the accessors.
class CLoopbackHttpServer {
 public:
  // Binds 127.0.0.1:nPort (0: any free port) and starts answering. When it cannot bind,
  // the test fails (ADD_FAILURE) and Ok() is false; the object is still safe to use.
  explicit CLoopbackHttpServer(std::uint16_t nPort = 0);
  // Stops promptly, also while a reply waits out its delay or a client is connected.
  ~CLoopbackHttpServer();
  CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
  CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

  bool Ok() const { return m_nListenFd >= 0; }
  std::uint16_t Port() const { return m_nPort; }
  std::string BaseUrl() const;  // "http://127.0.0.1:PORT"

  // The reply to a request target exactly as on the request line (path and query).
  void Serve(const std::string& strTarget, SCannedReply reply);
  // The reply to any target with this path, whatever its query. An exact Serve target
  // wins over a path.
  void ServePath(const std::string& strPath, SCannedReply reply);

  // Request targets seen so far, in order, and the User-Agent of each ("" when none).
  std::vector<std::string> Targets() const;
  std::vector<std::string> UserAgents() const;

  // Waits up to tTimeout until a request whose target starts with strPrefix has been
  // seen (also one seen before the call); returns whether it was.
  bool WaitForRequest(const std::string& strPrefix, std::chrono::milliseconds tTimeout);

 private:
  struct SSeenRequest {
    std::string strTarget;
    std::string strUserAgent;
  };

  void Run();
  void Answer(int nFd);
  SCannedReply ReplyFor(const std::string& strTarget) const;

  int m_nListenFd = -1;
  // Written once by the destructor; every wait of the server thread also watches it.
  int m_nWakeReadFd = -1;
  int m_nWakeWriteFd = -1;
  std::uint16_t m_nPort = 0;
  std::thread m_thread;

  mutable std::mutex m_mutex;  // guards the maps and m_arrSeen
  std::condition_variable m_cvSeen;
  std::map<std::string, SCannedReply> m_mapTargets;
  std::map<std::string, SCannedReply> m_mapPaths;
  std::vector<SSeenRequest> m_arrSeen;
};

}  // namespace quillmere::test
