// A routing netlink socket of the calling thread's network namespace: one request, its replies.
#pragma once

#include <linux/netlink.h>

#include <functional>
#include <vector>

namespace pal::netlink {

using MessageHandler = std::function<void(const nlmsghdr& message)>;

class RouteSocket {
 public:
  RouteSocket();
  ~RouteSocket();
  RouteSocket(const RouteSocket&) = delete;
  RouteSocket& operator=(const RouteSocket&) = delete;

  /// Sends `request` and hands every reply message to `onMessage`: all the messages of a dump, or
  /// the one answer to a plain request. A dump that the kernel reports as interrupted by a change,
  /// or whose messages outgrow the receive buffer, is run again from the start on a fresh socket,
  /// after `onRestart` has discarded what the earlier run delivered. False, with errno set, when
  /// the kernel refuses the request or the socket fails.
  bool Query(nlmsghdr& request, const MessageHandler& onMessage, const std::function<void()>& onRestart);

 private:
  enum class Outcome { kDone, kRetry, kFailed };

  bool Open();
  void Close();
  Outcome Exchange(nlmsghdr& request, const MessageHandler& onMessage);
  /// One datagram into the buffer; its length, 0 after growing the buffer for a datagram that did
  /// not fit (it is lost), or -1.
  ssize_t ReceiveOne();

  int fd_ = -1;
  unsigned sequence_ = 0;
  std::vector<char> buffer_;
};

}  // namespace pal::netlink
