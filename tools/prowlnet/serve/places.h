// A fixed number of places for the requests that hold one of the web server's worker threads for
// long (an event stream, a change waiting for its camera). A request that finds every place taken
// is refused at once, so the workers left always answer the others.
#pragma once

#include <atomic>
#include <memory>

namespace prowlnet_cli {

class Places {
 public:
  /// One place, given back when the last copy of its pointer goes.
  class Place {
   public:
    explicit Place(std::atomic<int>& free) : free_(free) {}
    ~Place() { free_.fetch_add(1); }
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;

   private:
    std::atomic<int>& free_;
  };

  explicit Places(int count) : free_(count) {}
  Places(const Places&) = delete;
  Places& operator=(const Places&) = delete;

  /// A place, or null when every place is taken. Every place must be given back before the
  /// Places object goes.
  std::shared_ptr<Place> Take() {
    int free = free_.load();
    do {
      if (free <= 0) return nullptr;
    } while (!free_.compare_exchange_weak(free, free - 1));
    return std::make_shared<Place>(free_);
  }

 private:
  std::atomic<int> free_;
};

}  // namespace prowlnet_cli
