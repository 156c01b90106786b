// The camera simulator: a UDP service on port 3001 that stands for a set of cameras. It answers
// each search request with one reply per camera, sent to where the request came from, and
// applies each modification request to the camera it names. It runs its own thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "camsim/camera.h"

namespace camsim {

/// Whether the calling thread is in a named network namespace (one that `ip netns add` made), not
/// on the machine's own network. The simulator refuses to run anywhere else.
bool InNamedNetworkNamespace();

struct Options {
  std::uint16_t port = 3001;
  /// Where each receipt and send is described, one line each; null for silence.
  std::FILE* log = nullptr;
  /// Edge cases (by name) sent after the replies to every search request.
  std::vector<std::string> edgeCases;
};

/// A datagram the simulator received.
struct Received {
  std::string bytes;
  std::string fromAddress;
  std::uint16_t fromPort = 0;
  Request request;
};

class Simulator {
 public:
  /// Binds 0.0.0.0:port in the network namespace of the calling thread and starts serving.
  /// See ok() and error().
  explicit Simulator(Options options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  /// Whether the simulator is serving; if not, error() says why.
  bool ok() const { return socket_ >= 0; }
  const std::string& error() const { return error_; }

  void AddCamera(const Camera& camera);
  void AddCameras(const std::vector<Camera>& cameras);
  std::vector<Camera> Cameras() const;
  /// The camera with this serial number (compared exactly), if there is one.
  std::optional<Camera> CameraWithSerial(const std::string& serialNumber) const;
  /// Applies `change` to the camera with this serial number; false when there is none.
  bool ChangeCamera(const std::string& serialNumber, const std::function<void(Camera&)>& change);

  /// Answers only the next `count` search requests (later ones are still recorded); a negative
  /// count answers all, as at the start.
  void SetSearchesToAnswer(int count);

  /// Sends `bytes` as one datagram from the simulator's socket; false if the send fell short.
  bool SendTo(const std::string& bytes, const std::string& address, std::uint16_t port);

  /// Every datagram received so far, oldest first.
  std::vector<Received> ReceivedDatagrams() const;
  /// How many search requests have been received, answered or not.
  int SearchRequests() const;
  /// How many replies have been sent in answer to search requests.
  long RepliesSent() const;

 private:
  void Serve();
  void Handle(Received received);
  void AnswerSearch(const Received& received);
  void ApplyModificationRequest(const Received& received);
  bool SendDatagram(const std::string& bytes, const std::string& address, std::uint16_t port);
  void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

  Options options_;
  std::string error_;
  int socket_ = -1;
  int stopEvent_ = -1;
  std::thread server_;

  mutable std::mutex mutex_;  // guards what follows
  std::vector<Camera> cameras_;
  std::vector<Received> received_;
  int searchRequests_ = 0;
  int searchesToAnswer_ = -1;
  long repliesSent_ = 0;

  std::mutex logMutex_;
};

}  // namespace camsim
