#include "tests/support/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

namespace quillmere::test {

namespace {

using CClock = std::chrono::steady_clock;

// A client that sends no complete request head within this time is dropped.
constexpr auto kRequestTimeout = std::chrono::seconds(10);
// Sending a reply may take at most this long (a client that stopped reading).
constexpr auto kSendTimeout = std::chrono::seconds(10);
constexpr size_t kMaxHeadSize = 64 * 1024;

class CFdCloser {
 public:
  explicit CFdCloser(int nFd) : m_nFd(nFd) {}
  ~CFdCloser() { ::close(m_nFd); }
  CFdCloser(const CFdCloser&) = delete;
  CFdCloser& operator=(const CFdCloser&) = delete;

 private:
  int m_nFd;
};

enum class EWait { Ready, Woken, TimedOut };

// Waits until nFd has one of nEvents (or an error or hang-up), the wake pipe was written
// or tDeadline passed.
EWait WaitFor(int nFd, short nEvents, int nWakeFd, CClock::time_point tDeadline) {
  for (;;) {
    auto tLeft = std::chrono::ceil<std::chrono::milliseconds>(tDeadline - CClock::now());
    if (tLeft.count() <= 0) return EWait::TimedOut;
    pollfd arrFds[2] = {{nFd, nEvents, 0}, {nWakeFd, POLLIN, 0}};
    int nReady = ::poll(arrFds, 2, static_cast<int>(std::min<long long>(tLeft.count(), 60000)));
    if (nReady < 0 && errno != EINTR) return EWait::Woken;  // cannot wait: give up
    if (nReady <= 0) continue;
    if (arrFds[1].revents != 0) return EWait::Woken;
    if (arrFds[0].revents != 0) return EWait::Ready;
  }
}

std::string Lower(std::string str) {
  std::transform(str.begin(), str.end(), str.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return str;
}

const char* ReasonPhrase(int nStatus) {
  switch (nStatus) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

std::string Render(const SCannedReply& reply) {
  std::string str =
      "HTTP/1.1 " + std::to_string(reply.nStatus) + " " + ReasonPhrase(reply.nStatus) + "\r\n";
  switch (reply.eLength) {
    case EContentLength::BodySize:
      str += "Content-Length: " + std::to_string(reply.strBody.size()) + "\r\n";
      break;
    case EContentLength::Declared:
      str += "Content-Length: " + std::to_string(reply.nDeclaredLength) + "\r\n";
      break;
    case EContentLength::None:
      break;
  }
  if (!reply.strLocation.empty()) str += "Location: " + reply.strLocation + "\r\n";
  str += "Connection: close\r\n\r\n";
  str += reply.strBody;
  return str;
}

}  // namespace

SCannedReply SCannedReply::WithBody(std::string strText) const {
  SCannedReply reply = *this;
  reply.strBody = std::move(strText);
  return reply;
}

SCannedReply SCannedReply::WithoutLength() const {
  SCannedReply reply = *this;
  reply.eLength = EContentLength::None;
  return reply;
}

SCannedReply SCannedReply::WithDeclaredLength(std::uint64_t nLength) const {
  SCannedReply reply = *this;
  reply.eLength = EContentLength::Declared;
  reply.nDeclaredLength = nLength;
  return reply;
}

SCannedReply SCannedReply::WithDelay(std::chrono::milliseconds tWait) const {
  SCannedReply reply = *this;
  reply.tDelay = tWait;
  return reply;
}

SCannedReply Reply(std::string strBody, int nStatus) {
  SCannedReply reply;
  reply.nStatus = nStatus;
  reply.strBody = std::move(strBody);
  return reply;
}

SCannedReply Redirect(std::string strLocation, int nStatus) {
  SCannedReply reply;
  reply.nStatus = nStatus;
  reply.strLocation = std::move(strLocation);
  return reply;
}

CLoopbackHttpServer::CLoopbackHttpServer(std::uint16_t nPort) {
  int arrPipe[2];
  if (::pipe2(arrPipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "loopback server: pipe: " << std::strerror(errno);
    return;
  }
  m_nWakeReadFd = arrPipe[0];
  m_nWakeWriteFd = arrPipe[1];

  int nFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (nFd < 0) {
    ADD_FAILURE() << "loopback server: socket: " << std::strerror(errno);
    return;
  }
  int nOn = 1;
  ::setsockopt(nFd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(nPort);
  socklen_t nLen = sizeof addr;
  if (::bind(nFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(nFd, 16) != 0 ||
      ::getsockname(nFd, reinterpret_cast<sockaddr*>(&addr), &nLen) != 0) {
    ADD_FAILURE() << "loopback server: cannot listen on 127.0.0.1:" << nPort << ": "
                  << std::strerror(errno);
    ::close(nFd);
    return;
  }
  m_nListenFd = nFd;
  m_nPort = ntohs(addr.sin_port);
  m_thread = std::thread([this] { Run(); });
}

CLoopbackHttpServer::~CLoopbackHttpServer() {
  if (m_nWakeWriteFd >= 0) {
    // Never read, so it wakes every later wait of the server thread too.
    char c = 'x';
    while (::write(m_nWakeWriteFd, &c, 1) < 0 && errno == EINTR) {
    }
  }
  if (m_thread.joinable()) m_thread.join();
  for (int nFd : {m_nListenFd, m_nWakeReadFd, m_nWakeWriteFd}) {
    if (nFd >= 0) ::close(nFd);
  }
}

std::string CLoopbackHttpServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(m_nPort);
}

void CLoopbackHttpServer::Serve(const std::string& strTarget, SCannedReply reply) {
  std::lock_guard lock(m_mutex);
  m_mapTargets[strTarget] = std::move(reply);
}

void CLoopbackHttpServer::ServePath(const std::string& strPath, SCannedReply reply) {
  std::lock_guard lock(m_mutex);
  m_mapPaths[strPath] = std::move(reply);
}

std::vector<std::string> CLoopbackHttpServer::Targets() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::string> arr;
  for (const auto& seen : m_arrSeen) arr.push_back(seen.strTarget);
  return arr;
}

std::vector<std::string> CLoopbackHttpServer::UserAgents() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::string> arr;
  for (const auto& seen : m_arrSeen) arr.push_back(seen.strUserAgent);
  return arr;
}

bool CLoopbackHttpServer::WaitForRequest(const std::string& strPrefix,
                                         std::chrono::milliseconds tTimeout) {
  std::unique_lock lock(m_mutex);
  return m_cvSeen.wait_for(lock, tTimeout, [&] {
    return std::any_of(m_arrSeen.begin(), m_arrSeen.end(), [&](const SSeenRequest& seen) {
      return seen.strTarget.compare(0, strPrefix.size(), strPrefix) == 0;
    });
  });
}

SCannedReply CLoopbackHttpServer::ReplyFor(const std::string& strTarget) const {
  std::lock_guard lock(m_mutex);
  if (auto it = m_mapTargets.find(strTarget); it != m_mapTargets.end()) return it->second;
  std::string strPath = strTarget.substr(0, strTarget.find('?'));
  if (auto it = m_mapPaths.find(strPath); it != m_mapPaths.end()) return it->second;
  return Reply("not found\n", 404);
}

void CLoopbackHttpServer::Run() {
  for (;;) {
    pollfd arrFds[2] = {{m_nListenFd, POLLIN, 0}, {m_nWakeReadFd, POLLIN, 0}};
    if (::poll(arrFds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (arrFds[1].revents != 0) return;
    int nFd = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (nFd < 0) continue;
    CFdCloser closer(nFd);
    Answer(nFd);
  }
}

void CLoopbackHttpServer::Answer(int nFd) {
  // The request head, up to the blank line.
  std::string strHead;
  const auto tRequestDeadline = CClock::now() + kRequestTimeout;
  size_t nEnd;
  while ((nEnd = strHead.find("\r\n\r\n")) == std::string::npos) {
    if (strHead.size() > kMaxHeadSize) return;
    if (WaitFor(nFd, POLLIN, m_nWakeReadFd, tRequestDeadline) != EWait::Ready) return;
    char szBuffer[4096];
    ssize_t nRead = ::recv(nFd, szBuffer, sizeof szBuffer, 0);
    if (nRead == 0) return;
    if (nRead < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return;
    }
    strHead.append(szBuffer, static_cast<size_t>(nRead));
  }
  strHead.resize(nEnd + 2);  // every line, the last one included, ends with CRLF

  SSeenRequest seen;
  size_t nLineEnd = strHead.find("\r\n");
  std::string strRequestLine = strHead.substr(0, nLineEnd);
  // "GET /target HTTP/1.1"
  size_t nFirstSpace = strRequestLine.find(' ');
  size_t nLastSpace = strRequestLine.rfind(' ');
  if (nFirstSpace != std::string::npos && nLastSpace > nFirstSpace) {
    seen.strTarget = strRequestLine.substr(nFirstSpace + 1, nLastSpace - nFirstSpace - 1);
  }
  for (size_t nPos = nLineEnd + 2; nPos < strHead.size();) {
    size_t nNext = strHead.find("\r\n", nPos);
    std::string strLine = strHead.substr(nPos, nNext - nPos);
    nPos = nNext + 2;
    size_t nColon = strLine.find(':');
    if (nColon == std::string::npos || Lower(strLine.substr(0, nColon)) != "user-agent") continue;
    size_t nValue = strLine.find_first_not_of(" \t", nColon + 1);
    seen.strUserAgent = nValue == std::string::npos ? "" : strLine.substr(nValue);
  }

  SCannedReply reply = ReplyFor(seen.strTarget);
  {
    std::lock_guard lock(m_mutex);
    m_arrSeen.push_back(std::move(seen));
  }
  m_cvSeen.notify_all();

  if (reply.tDelay.count() > 0) {
    const auto tDelayEnd = CClock::now() + reply.tDelay;
    for (;;) {
      EWait eWait = WaitFor(nFd, POLLIN, m_nWakeReadFd, tDelayEnd);
      if (eWait == EWait::Woken) return;
      if (eWait == EWait::TimedOut) break;
      char szBuffer[512];
      ssize_t nRead = ::recv(nFd, szBuffer, sizeof szBuffer, 0);
      if (nRead == 0) return;  // the client went away
      if (nRead < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return;
    }
  }

  const std::string strReply = Render(reply);
  const auto tSendDeadline = CClock::now() + kSendTimeout;
  size_t nSent = 0;
  while (nSent < strReply.size()) {
    if (WaitFor(nFd, POLLOUT, m_nWakeReadFd, tSendDeadline) != EWait::Ready) return;
    // MSG_NOSIGNAL: a client that already left must not raise SIGPIPE in the test.
    ssize_t n = ::send(nFd, strReply.data() + nSent, strReply.size() - nSent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return;
    }
    nSent += static_cast<size_t>(n);
  }
}

}  // namespace quillmere::test
