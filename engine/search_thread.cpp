// The search thread. Its phases: setup (socket, options, bind), serving (one pass: select,
// receive one datagram, or with fast search every one waiting, send one queued request, or with
// fast search every one queued, refresh the host block, sleep 10 ms), and the one-second pause
// after any failure. The running flag is read at start, after every pause, right after binding,
// at the end of every pass and on leaving the serving phase.
#include "engine/search_thread.h"

#include <memory>
#include <mutex>
#include <vector>

#include "diag/debug_log.h"
#include "engine/control_object.h"
#include "engine/envelope.h"
#include "engine/reply_intake.h"
#include "netenv/host_net_info.h"
#include "pal/winsock2.h"

namespace prowlnet {
namespace {

using ws2::INVALID_SOCKET;
using ws2::SOCKET;

class SearchThread {
 public:
  explicit SearchThread(SearchThreadStart start)
      : shared_(std::move(start.shared)), fastSearch_(start.fastSearch), interfaces_(std::move(start.interfaces)) {}

  void Run();

 private:
  bool Running() const { return shared_->running.load() != 0; }

  /// Makes, configures and binds the socket; false (socket closed) on any failure.
  bool SetUp();
  /// Serving passes until the flag is clear or a socket call fails; leaves with the socket closed.
  void Serve();
  /// One pass; false when the socket failed (and was closed).
  bool ServeOnePass();
  /// One datagram, or with fast search every one waiting up to the bound; false when the
  /// socket failed (and was closed).
  bool ReceiveWaiting();
  bool ReceiveOne();
  /// Whether a datagram waits on the socket now.
  bool DatagramWaiting();
  /// Puts a search request in the thread's own queue, for the first serving pass to send.
  void QueueSearchRequest();
  /// One queued request, or with fast search every one queued up to the bound; false when the
  /// socket failed (and was closed).
  bool SendQueued();
  enum class Dequeued { kOne, kNone, kSocketFailed };
  Dequeued SendOneQueued();
  void CloseSocket();
  /// Frees the requests that were never sent; the thread is about to end.
  void DropQueuedRequests();

  std::shared_ptr<SharedState> shared_;
  const bool fastSearch_;
  const InterfaceLimit interfaces_;
  unsigned short localPort_ = kFirstLocalPort;
  SOCKET socket_ = INVALID_SOCKET;
  char receiveArea_[kEnvelopeBufferSize + 1];
};

void SearchThread::Run() {
  // The thread's own hold on the socket library and its queue: a thread that outlives its
  // control object can still close its socket, and requests posted during setup wait.
  ws2::WSADATA data;
  ws2::WSAStartup(MAKEWORD(2, 2), &data);
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  if (fastSearch_) QueueSearchRequest();

  DebugLog("ProwlnetThread(): enter main loop...\n");
  while (Running()) {
    if (SetUp()) {
      if (Running()) {
        Serve();
      } else {
        DebugLog("ProwlnetThread(): exit send and recv loop\n");
        CloseSocket();
      }
      if (!Running()) break;
    }
    Sleep(1000);
  }
  DebugLog("ProwlnetThread(): exit main loop\n");
  DropQueuedRequests();
  ws2::WSACleanup();
}

bool SearchThread::SetUp() {
  socket_ = ws2::socket(ws2::AF_INET, ws2::SOCK_DGRAM, 0);
  if (socket_ == INVALID_SOCKET) {
    DebugLog("ProwlnetThread(): socket() failed, errno=%d\n", ws2::WSAGetLastError());
    return false;
  }
  DebugLog("ProwlnetThread(): socket() ok, sockfd=%d\n", static_cast<int>(socket_));

  const int one = 1;
  if (ws2::setsockopt(socket_, ws2::SOL_SOCKET, ws2::SO_BROADCAST, reinterpret_cast<const char*>(&one), sizeof one) != 0) {
    DebugLog("ProwlnetThread(): setsockopt() failed, errno=%d\n", ws2::WSAGetLastError());
    CloseSocket();
    return false;
  }
  DebugLog("ProwlnetThread(): setsockopt() ok!\n");

  if (ws2::setsockopt(socket_, ws2::SOL_SOCKET, ws2::SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one) != 0) {
    DebugLog("ProwlnetThread(): set socket reuse address option failed, errno=%d\n", ws2::WSAGetLastError());
    CloseSocket();
    return false;
  }
  DebugLog("ProwlnetThread(): set socket reuse address option ok!\n");

  // Room for a burst of replies from a full table; a smaller buffer only loses more of a burst.
  const int receiveBuffer = kReceiveBufferBytes;
  ws2::setsockopt(socket_, ws2::SOL_SOCKET, ws2::SO_RCVBUF, reinterpret_cast<const char*>(&receiveBuffer),
                  sizeof receiveBuffer);

  ws2::sockaddr_in local{};
  local.sin_family = ws2::AF_INET;
  local.sin_port = ws2::htons(localPort_);
  local.sin_addr.s_addr = ws2::INADDR_ANY;
  if (ws2::bind(socket_, reinterpret_cast<const ws2::sockaddr*>(&local), sizeof local) != 0) {
    DebugLog("ProwlnetThread(): Can't bind socket to local port!, errno=%d\n", ws2::WSAGetLastError());
    CloseSocket();
    ++localPort_;
    return false;
  }
  DebugLog("ProwlnetThread(): bind() ok!\n");
  DebugLog("ProwlnetThread(): enter send and recv loop...\n");
  return true;
}

void SearchThread::Serve() {
  while (ServeOnePass() && Running()) {
  }
  DebugLog("ProwlnetThread(): exit send and recv loop\n");
  if (!Running()) CloseSocket();
}

bool SearchThread::ServeOnePass() {
  ws2::fd_set readable;
  ws2::fd_set writable;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_SET(socket_, &readable);
  FD_SET(socket_, &writable);
  const timeval timeout{5, 0};
  const int ready = ws2::select(0, &readable, &writable, nullptr, &timeout);
  if (ready < 0) {
    DebugLog("ProwlnetThread(): select failed, error=%d\n", ws2::WSAGetLastError());
    CloseSocket();
    Sleep(1000);
    return false;
  }
  if (ready == 0) return true;  // neither readable nor writable: no sleep this pass

  if (FD_ISSET(socket_, &readable) && !ReceiveWaiting()) return false;
  if (FD_ISSET(socket_, &writable) && !SendQueued()) return false;
  LoadHostNetInfoIfNeeded(shared_->netInfo, shared_->lock);
  Sleep(10);
  return true;
}

bool SearchThread::ReceiveWaiting() {
  if (!ReceiveOne()) return false;
  if (!fastSearch_) return true;
  for (int received = 1; received < kFastReceivesPerPass && DatagramWaiting(); ++received) {
    if (!ReceiveOne()) return false;
  }
  return true;
}

bool SearchThread::ReceiveOne() {
  const int received = ws2::recvfrom(socket_, receiveArea_, kEnvelopeBufferSize, 0, nullptr, nullptr);
  if (received <= 0) {
    DebugLog("ProwlnetThread(): recvfrom failed, error=%d\n", ws2::WSAGetLastError());
    CloseSocket();
    Sleep(1000);
    return false;
  }
  receiveArea_[received] = '\0';
  HandleDatagram(*shared_, receiveArea_, received);
  return true;
}

bool SearchThread::DatagramWaiting() {
  ws2::fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket_, &readable);
  const timeval now{0, 0};
  // A failed select counts as nothing waiting: the next pass's own select meets the failure.
  return ws2::select(0, &readable, nullptr, nullptr, &now) > 0;
}

void SearchThread::QueueSearchRequest() {
  auto buffer = std::make_unique<char[]>(kEnvelopeBufferSize);
  const int length = BuildEnvelope(buffer.get(), kEnvelopeBufferSize, kSearchRequest, nullptr);
  if (PostThreadMessageW(GetCurrentThreadId(), WM_DISCOVERY_SEND, reinterpret_cast<WPARAM>(buffer.get()), length))
    buffer.release();  // the queue's now, freed when sent or dropped
}

bool SearchThread::SendQueued() {
  const int bound = fastSearch_ ? kFastSendsPerPass : 1;
  for (int sent = 0; sent < bound; ++sent) {
    switch (SendOneQueued()) {
      case Dequeued::kOne: break;
      case Dequeued::kNone: return true;
      case Dequeued::kSocketFailed: return false;
    }
  }
  return true;
}

SearchThread::Dequeued SearchThread::SendOneQueued() {
  MSG request;
  if (!PeekMessageW(&request, nullptr, 0, 0, PM_REMOVE)) return Dequeued::kNone;
  if (request.message != WM_DISCOVERY_SEND) return Dequeued::kOne;  // only send requests carry a buffer
  const std::unique_ptr<char[]> buffer(reinterpret_cast<char*>(request.wParam));
  const int length = static_cast<int>(request.lParam);

  // Sent once it has left by at least one interface.
  if (BroadcastFromEveryInterface(socket_, buffer.get(), length, kDevicePort, interfaces_) == 0) {
    DebugLog("ProwlnetThread(): sendto failed, error=%d\n", ws2::WSAGetLastError());
    CloseSocket();
    Sleep(1000);
    return Dequeued::kSocketFailed;
  }
  return Dequeued::kOne;
}

void SearchThread::CloseSocket() {
  if (socket_ == INVALID_SOCKET) return;
  ws2::closesocket(socket_);
  socket_ = INVALID_SOCKET;
}

void SearchThread::DropQueuedRequests() {
  MSG request;
  while (PeekMessageW(&request, nullptr, 0, 0, PM_REMOVE)) {
    if (request.message == WM_DISCOVERY_SEND) delete[] reinterpret_cast<char*>(request.wParam);
  }
}

std::mutex abandonedLock;
std::vector<HANDLE> abandoned;

}  // namespace

void KeepAbandonedSearchThread(HANDLE thread) {
  const std::lock_guard<std::mutex> hold(abandonedLock);
  abandoned.push_back(thread);
}

bool AbandonedSearchThreadsRun() {
  const std::lock_guard<std::mutex> hold(abandonedLock);
  std::erase_if(abandoned, [](HANDLE thread) {
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    if (code == STILL_ACTIVE) return false;
    CloseHandle(thread);
    return true;
  });
  return !abandoned.empty();
}

unsigned ProwlnetThread(void* argument) {
  std::unique_ptr<SearchThreadStart> start(static_cast<SearchThreadStart*>(argument));
  SearchThread(std::move(*start)).Run();
  return 0;
}

}  // namespace prowlnet
