// Threads with Windows handles: an exit code that reads STILL_ACTIVE until the start routine has
// returned, and a handle that can be waited on and closed independently of the thread's life.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "kernel32/handles.h"
#include "kernel32/threads.h"
#include "pal/kernel32.h"

namespace {

struct ThreadObject : pal::internal::KernelObject {
  std::mutex mutex;
  std::condition_variable changed;
  DWORD id = 0;  // 0 until the thread has reported it
  bool ended = false;
  DWORD exitCode = STILL_ACTIVE;
  pal::kernel32::ThreadRoutine start = nullptr;
  void* argument = nullptr;
};

/// Owned by the new thread: its reference keeps the object alive after every handle is closed.
struct ThreadStartBlock {
  std::shared_ptr<ThreadObject> thread;
};

std::atomic<pal::kernel32::ThreadEndHook> threadEndHook{nullptr};

void* RunThread(void* raw) {
  std::shared_ptr<ThreadObject> thread = std::move(static_cast<ThreadStartBlock*>(raw)->thread);
  delete static_cast<ThreadStartBlock*>(raw);
  {
    std::lock_guard lock(thread->mutex);
    thread->id = GetCurrentThreadId();
  }
  thread->changed.notify_all();

  const DWORD code = thread->start(thread->argument);

  // What the thread held goes first (its message queue), so that nothing can be posted to a
  // thread that reads as ended.
  if (const pal::kernel32::ThreadEndHook hook = threadEndHook.load(std::memory_order_acquire)) hook();
  {
    std::lock_guard lock(thread->mutex);
    thread->exitCode = code;
    thread->ended = true;
  }
  thread->changed.notify_all();
  return nullptr;
}

DWORD SystemErrorOf(int error) {
  switch (error) {
    case EAGAIN:
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EPERM:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

std::shared_ptr<ThreadObject> ThreadOf(HANDLE handle) {
  return std::dynamic_pointer_cast<ThreadObject>(pal::internal::LookUpHandle(handle));
}

}  // namespace

namespace pal::kernel32 {

HANDLE StartThread(ThreadRoutine routine, void* argument, DWORD* id) {
  auto thread = std::make_shared<ThreadObject>();
  thread->start = routine;
  thread->argument = argument;
  auto* block = new ThreadStartBlock{thread};

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t native;
  const int error = pthread_create(&native, &attributes, RunThread, block);
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    delete block;
    errno = error;
    SetLastError(SystemErrorOf(error));
    return nullptr;
  }

  {
    std::unique_lock lock(thread->mutex);
    thread->changed.wait(lock, [&] { return thread->id != 0; });
    *id = thread->id;
  }
  return pal::internal::InsertHandle(std::move(thread));
}

void SetThreadEndHook(ThreadEndHook hook) { threadEndHook.store(hook, std::memory_order_release); }

}  // namespace pal::kernel32

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  std::shared_ptr<ThreadObject> thread = ThreadOf(handle);
  if (thread == nullptr || exitCode == nullptr) {
    SetLastError(thread == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard lock(thread->mutex);
  *exitCode = thread->exitCode;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  std::shared_ptr<ThreadObject> thread = ThreadOf(handle);
  if (thread == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock lock(thread->mutex);
  if (milliseconds == INFINITE) {
    thread->changed.wait(lock, [&] { return thread->ended; });
    return WAIT_OBJECT_0;
  }
  const bool ended =
      thread->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return thread->ended; });
  return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD GetCurrentThreadId() {
  // Not cached: a forked child's thread has a new identifier.
  return static_cast<DWORD>(syscall(SYS_gettid));
}
