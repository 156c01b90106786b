#include "prowlnet-script/live_objects.h"

#include <utility>

namespace script_host {

LiveObjects::Id LiveObjects::Add(IDispatch* object) {
  const Id id = next_++;
  entries_[id].object = object;
  return id;
}

IDispatch* LiveObjects::Find(Id id) const {
  const auto found = entries_.find(id);
  return found == entries_.end() ? nullptr : found->second.object.p;
}

bool LiveObjects::SetEvents(Id id, std::unique_ptr<EventConnection> events) {
  const auto found = entries_.find(id);
  if (found == entries_.end()) return false;
  std::unique_ptr<EventConnection> old = std::exchange(found->second.events, std::move(events));
  return true;
}

void LiveObjects::Release(Id id) {
  const auto found = entries_.find(id);
  if (found == entries_.end()) return;
  Entry entry = std::move(found->second);
  entries_.erase(found);
  Dispose(std::move(entry));
}

void LiveObjects::ReleaseAll() {
  while (!entries_.empty()) Release(entries_.begin()->first);
}

void LiveObjects::Dispose(Entry entry) {
  entry.events.reset();
  entry.object.Release();
}

}  // namespace script_host
