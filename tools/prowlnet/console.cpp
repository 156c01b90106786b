#include "console.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "commands.h"
#include "shown_text.h"

namespace prowlnet_cli {

std::optional<ControlSession> OpenControl() {
  std::string error;
  std::optional<ControlSession> session = ControlSession::Open(&error);
  if (!session) std::fprintf(stderr, "prowlnet: %s\n", error.c_str());
  return session;
}

bool SearchFor(ControlSession& session, double seconds, bool progress, const std::function<bool()>& enough) {
  const auto start = std::chrono::steady_clock::now();
  const auto showProgress = [&] {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int found = session.Count();
    std::fprintf(stderr, "\rsearching %4.1f s: %d camera%s found ", elapsed, found, found == 1 ? "" : "s");
  };
  const bool done = session.WaitFor(enough, std::chrono::milliseconds(static_cast<long>(seconds * 1000)),
                                    progress ? std::function<void()>(showProgress) : std::function<void()>());
  if (progress) std::fputs("\r\033[K", stderr);
  return done;
}

std::optional<LocatedCamera> WaitForCamera(ControlSession& session, const std::string& serial, double seconds) {
  std::optional<LocatedCamera> camera;
  const bool found = SearchFor(session, seconds, isatty(STDERR_FILENO), [&] {
    camera = session.Find(serial);
    return camera.has_value();
  });
  if (!found && !WaitsInterrupted())
    std::fprintf(stderr, "prowlnet: camera %s did not answer within %g s\n", Printable(serial).c_str(), seconds);
  return found ? camera : std::nullopt;
}

int Interrupted(ControlSession& session) {
  session.StopSearch();
  std::fputs("prowlnet: interrupted\n", stderr);
  return kInterrupted;
}

}  // namespace prowlnet_cli
