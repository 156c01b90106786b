// Apartments: each thread that enters a single-threaded apartment has one of its own; the threads
// that enter the multithreaded apartment share the process's one.
#include "ole32/apartment.h"

#include <atomic>
#include <mutex>

#include "ole32/modules.h"
#include "pal/objbase.h"

namespace pal::ole32 {
namespace {

struct ThreadApartment {
  ApartmentKind kind = ApartmentKind::kNone;
  unsigned entries = 0;  // CoInitializeEx calls not yet balanced
  ApartmentId id = 0;
};

thread_local ThreadApartment current;

std::atomic<ApartmentId> nextSingleThreaded{kMultithreadedApartment + 1};

std::mutex& MultithreadedMutex() {
  static auto* mutex = new std::mutex;  // outlives threads that end after main
  return *mutex;
}
unsigned multithreadedThreads = 0;  // guarded by MultithreadedMutex()

void JoinMultithreaded() {
  std::lock_guard lock(MultithreadedMutex());
  ++multithreadedThreads;
}

/// True when the calling thread was the last one in the multithreaded apartment.
bool LeaveMultithreaded() {
  std::lock_guard lock(MultithreadedMutex());
  return --multithreadedThreads == 0;
}

}  // namespace

ApartmentKind CurrentApartmentKind() { return current.kind; }
ApartmentId CurrentApartment() { return current.id; }

}  // namespace pal::ole32

using pal::ole32::ApartmentKind;

HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
  auto& thread = pal::ole32::current;
  const ApartmentKind wanted =
      (coInit & COINIT_APARTMENTTHREADED) != 0 ? ApartmentKind::kSingleThreaded : ApartmentKind::kMultithreaded;
  if (thread.kind != ApartmentKind::kNone) {
    if (thread.kind != wanted) return RPC_E_CHANGED_MODE;
    ++thread.entries;
    return S_FALSE;
  }
  thread.kind = wanted;
  thread.entries = 1;
  if (wanted == ApartmentKind::kMultithreaded) {
    thread.id = pal::ole32::kMultithreadedApartment;
    pal::ole32::JoinMultithreaded();
  } else {
    thread.id = pal::ole32::nextSingleThreaded++;
  }
  return S_OK;
}

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  auto& thread = pal::ole32::current;
  if (thread.kind == ApartmentKind::kNone || --thread.entries > 0) return;
  const bool apartmentEnds = thread.kind == ApartmentKind::kSingleThreaded || pal::ole32::LeaveMultithreaded();
  if (apartmentEnds) pal::ole32::ReleaseApartment(thread.id);
  thread = {};
}
