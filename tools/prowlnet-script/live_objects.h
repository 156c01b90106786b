// The automation objects a script holds, each with the event connection the script asked for.
//
// The script's proxies name their object by an id here, so that the host can release every
// object at once, in the order they were made, when the script ends: at its end, at
// WScript.Quit, or when its time runs out.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "pal/atlbase.h"

namespace script_host {

/// A connection of an object's events to the script; it disconnects when destroyed.
class EventConnection {
 public:
  virtual ~EventConnection() = default;
};

class LiveObjects {
 public:
  using Id = std::uint32_t;

  LiveObjects() = default;
  ~LiveObjects() { ReleaseAll(); }
  LiveObjects(const LiveObjects&) = delete;
  LiveObjects& operator=(const LiveObjects&) = delete;

  /// Keeps `object` (one reference of its own); the id is never 0.
  Id Add(IDispatch* object);
  /// The object, or null once it has been released.
  IDispatch* Find(Id id) const;
  /// Replaces the object's event connection (null: disconnects it); false when it was released.
  bool SetEvents(Id id, std::unique_ptr<EventConnection> events);
  /// Disconnects and releases one object.
  void Release(Id id);
  /// Disconnects and releases every object, oldest first.
  void ReleaseAll();

 private:
  struct Entry {
    ATL::CComPtr<IDispatch> object;
    std::unique_ptr<EventConnection> events;
  };
  /// Disconnects, then releases; the entry is out of the map, so what the object does as it goes
  /// (an event, a new object) finds the registry consistent.
  static void Dispose(Entry entry);

  std::map<Id, Entry> entries_;
  Id next_ = 1;
};

}  // namespace script_host
