// Server-Sent Events for the web host: what the apartment publishes reaches every open stream.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace prowlnet_cli {

class EventHub {
 public:
  /// One open stream. A stream that falls a bounded number of events behind loses the events
  /// it holds and gets a "resync" event in their place: the page reads the list again.
  class Subscription {
   public:
    /// The next event's text ("event: NAME\ndata: JSON\n\n"), or nothing when `timeout` passed
    /// (the stream sends a keep-alive) or the hub closed.
    std::optional<std::string> Next(std::chrono::milliseconds timeout);
    bool closed() const;

   private:
    friend class EventHub;
    void Push(const std::string& event);
    void Close();

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> events_;
    bool closed_ = false;
  };

  /// An event as a stream sends it: "event: NAME\ndata: JSON\n\n".
  static std::string Text(const std::string& name, const nlohmann::json& data);

  std::shared_ptr<Subscription> Subscribe();
  void Publish(const std::string& name, const nlohmann::json& data);
  /// Ends every stream; later subscriptions are closed from the start.
  void Close();

 private:
  std::mutex mutex_;
  std::vector<std::weak_ptr<Subscription>> subscriptions_;
  bool closed_ = false;
};

}  // namespace prowlnet_cli
