#include "netlink.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace pal::netlink {
namespace {

constexpr size_t kInitialBuffer = 32 * 1024;
constexpr int kAttempts = 4;

}  // namespace

RouteSocket::RouteSocket() : buffer_(kInitialBuffer) {}

RouteSocket::~RouteSocket() { Close(); }

bool RouteSocket::Open() {
  fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  return fd_ >= 0;
}

void RouteSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool RouteSocket::Query(nlmsghdr& request, const MessageHandler& onMessage, const std::function<void()>& onRestart) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (attempt > 0) {
      // An abandoned dump keeps its socket busy: start over on a new one.
      Close();
      onRestart();
    }
    if (fd_ < 0 && !Open()) return false;
    switch (Exchange(request, onMessage)) {
      case Outcome::kDone:
        return true;
      case Outcome::kFailed:
        return false;
      case Outcome::kRetry:
        break;
    }
  }
  errno = EAGAIN;
  return false;
}

ssize_t RouteSocket::ReceiveOne() {
  for (;;) {
    const ssize_t length = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_TRUNC);
    if (length < 0 && errno == EINTR) continue;
    if (length < 0) return -1;
    if (static_cast<size_t>(length) <= buffer_.size()) return length;
    buffer_.resize(static_cast<size_t>(length));
    return 0;
  }
}

RouteSocket::Outcome RouteSocket::Exchange(nlmsghdr& request, const MessageHandler& onMessage) {
  request.nlmsg_seq = ++sequence_;
  request.nlmsg_pid = 0;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  ssize_t sent;
  do {
    sent = ::sendto(fd_, &request, request.nlmsg_len, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) return Outcome::kFailed;

  const bool dump = (request.nlmsg_flags & NLM_F_DUMP) == NLM_F_DUMP;
  bool interrupted = false;
  for (;;) {
    const ssize_t length = ReceiveOne();
    if (length < 0) return Outcome::kFailed;
    if (length == 0) return Outcome::kRetry;
    int left = static_cast<int>(length);
    for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer_.data()); NLMSG_OK(message, left);
         message = NLMSG_NEXT(message, left)) {
      if (message->nlmsg_seq != request.nlmsg_seq) continue;
      if (message->nlmsg_type == NLMSG_DONE) return interrupted ? Outcome::kRetry : Outcome::kDone;
      if (message->nlmsg_type == NLMSG_ERROR) {
        if (message->nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) {
          errno = EPROTO;
          return Outcome::kFailed;
        }
        const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
        if (error->error == 0) return Outcome::kDone;
        errno = -error->error;
        return Outcome::kFailed;
      }
      if (message->nlmsg_flags & NLM_F_DUMP_INTR) interrupted = true;
      onMessage(*message);
      if (!dump) return Outcome::kDone;
    }
  }
}

}  // namespace pal::netlink
