#include "event_hub.h"

#include <algorithm>

namespace prowlnet_cli {
namespace {

constexpr size_t kMaxQueuedEvents = 4096;

/// What a stream that fell behind gets in place of the events it missed: the page reads the
/// whole list again (GET /api/cameras, GET /api/search).
std::string ResyncEvent() { return EventHub::Text("resync", nlohmann::json::object()); }

}  // namespace

std::optional<std::string> EventHub::Subscription::Next(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(mutex_);
  ready_.wait_for(hold, timeout, [&] { return closed_ || !events_.empty(); });
  if (events_.empty()) return std::nullopt;
  std::string event = std::move(events_.front());
  events_.pop_front();
  return event;
}

bool EventHub::Subscription::closed() const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return closed_;
}

void EventHub::Subscription::Push(const std::string& event) {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (events_.size() >= kMaxQueuedEvents) {
      events_.clear();
      events_.push_back(ResyncEvent());
    }
    events_.push_back(event);
  }
  ready_.notify_one();
}

void EventHub::Subscription::Close() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    closed_ = true;
  }
  ready_.notify_all();
}

std::shared_ptr<EventHub::Subscription> EventHub::Subscribe() {
  auto subscription = std::make_shared<Subscription>();
  const std::lock_guard<std::mutex> hold(mutex_);
  if (closed_) subscription->Close();
  subscriptions_.push_back(subscription);
  return subscription;
}

std::string EventHub::Text(const std::string& name, const nlohmann::json& data) {
  return "event: " + name + "\ndata: " + data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n\n";
}

void EventHub::Publish(const std::string& name, const nlohmann::json& data) {
  const std::string event = Text(name, data);
  const std::lock_guard<std::mutex> hold(mutex_);
  std::erase_if(subscriptions_, [](const std::weak_ptr<Subscription>& s) { return s.expired(); });
  for (const auto& weak : subscriptions_) {
    if (auto subscription = weak.lock()) subscription->Push(event);
  }
}

void EventHub::Close() {
  const std::lock_guard<std::mutex> hold(mutex_);
  closed_ = true;
  for (const auto& weak : subscriptions_) {
    if (auto subscription = weak.lock()) subscription->Close();
  }
}

}  // namespace prowlnet_cli
