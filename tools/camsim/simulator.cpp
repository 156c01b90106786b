#include "camsim/simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>

#include "camsim/edge_cases.h"

namespace camsim {
namespace {

constexpr size_t kReceiveArea = 65536;

std::string Describe(const Request& request) {
  if (!request.wellFormed) return "not a discovery message";
  switch (request.code) {
    case kSearchRequest: return "search request";
    case kModifyRequest: return "modification request for \"" + request.serialNumber + "\"";
    default: return "message with code " + std::to_string(request.code);
  }
}

}  // namespace

bool InNamedNetworkNamespace() {
  struct stat own {};
  if (stat("/proc/thread-self/ns/net", &own) != 0) return false;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/run/netns", error)) {
    struct stat named {};
    if (stat(entry.path().c_str(), &named) == 0 && named.st_dev == own.st_dev && named.st_ino == own.st_ino)
      return true;
  }
  return false;
}

Simulator::Simulator(Options options) : options_(std::move(options)) {
  if (!InNamedNetworkNamespace()) {
    error_ = "not inside a named network namespace (ip netns): refusing to answer on this machine's own network";
    return;
  }
  for (const std::string& name : options_.edgeCases) {
    if (!EdgeCaseReply(name, Camera{})) {
      error_ = "unknown edge case: " + name;
      return;
    }
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(options_.port);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    error_ = "cannot bind UDP port " + std::to_string(options_.port) + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return;
  }
  stopEvent_ = eventfd(0, EFD_CLOEXEC);
  socket_ = fd;
  server_ = std::thread([this] { Serve(); });
}

Simulator::~Simulator() {
  if (server_.joinable()) {
    const std::uint64_t one = 1;
    (void)!write(stopEvent_, &one, sizeof one);
    server_.join();
  }
  if (socket_ >= 0) close(socket_);
  if (stopEvent_ >= 0) close(stopEvent_);
}

void Simulator::AddCamera(const Camera& camera) {
  std::lock_guard lock(mutex_);
  cameras_.push_back(camera);
}

void Simulator::AddCameras(const std::vector<Camera>& cameras) {
  std::lock_guard lock(mutex_);
  cameras_.insert(cameras_.end(), cameras.begin(), cameras.end());
}

std::vector<Camera> Simulator::Cameras() const {
  std::lock_guard lock(mutex_);
  return cameras_;
}

std::optional<Camera> Simulator::CameraWithSerial(const std::string& serialNumber) const {
  std::lock_guard lock(mutex_);
  for (const Camera& camera : cameras_) {
    if (camera.serialNumber == serialNumber) return camera;
  }
  return std::nullopt;
}

bool Simulator::ChangeCamera(const std::string& serialNumber, const std::function<void(Camera&)>& change) {
  std::lock_guard lock(mutex_);
  for (Camera& camera : cameras_) {
    if (camera.serialNumber != serialNumber) continue;
    change(camera);
    return true;
  }
  return false;
}

void Simulator::SetSearchesToAnswer(int count) {
  std::lock_guard lock(mutex_);
  searchesToAnswer_ = count;
}

bool Simulator::SendTo(const std::string& bytes, const std::string& address, std::uint16_t port) {
  const bool sent = SendDatagram(bytes, address, port);
  Log("sent %zu bytes to %s:%u%s\n", bytes.size(), address.c_str(), port, sent ? "" : " (failed)");
  return sent;
}

std::vector<Received> Simulator::ReceivedDatagrams() const {
  std::lock_guard lock(mutex_);
  return received_;
}

int Simulator::SearchRequests() const {
  std::lock_guard lock(mutex_);
  return searchRequests_;
}

long Simulator::RepliesSent() const {
  std::lock_guard lock(mutex_);
  return repliesSent_;
}

void Simulator::Serve() {
  std::vector<char> area(kReceiveArea);
  for (;;) {
    pollfd waits[2] = {{socket_, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
    if (poll(waits, 2, -1) < 0) continue;
    if (waits[1].revents != 0) return;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = recvfrom(socket_, area.data(), area.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0) continue;
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    Received received{std::string(area.data(), static_cast<size_t>(n)), address, ntohs(from.sin_port), {}};
    received.request = ParseRequest(received.bytes);
    Handle(std::move(received));
  }
}

void Simulator::Handle(Received received) {
  Log("received %zu bytes from %s:%u: %s\n", received.bytes.size(), received.fromAddress.c_str(), received.fromPort,
      Describe(received.request).c_str());
  {
    std::lock_guard lock(mutex_);
    received_.push_back(received);
  }
  if (received.request.code == kSearchRequest) AnswerSearch(received);
  if (received.request.code == kModifyRequest) ApplyModificationRequest(received);
}

void Simulator::AnswerSearch(const Received& received) {
  std::vector<std::pair<std::string, std::string>> replies;  // serial number, datagram
  {
    std::lock_guard lock(mutex_);
    ++searchRequests_;
    if (searchesToAnswer_ == 0) return;
    if (searchesToAnswer_ > 0) --searchesToAnswer_;
    for (const Camera& camera : cameras_) replies.emplace_back(camera.serialNumber.value_or(""), BuildReply(camera));
    const Camera base = cameras_.empty() ? GenerateCameras(1).front() : cameras_.front();
    for (const std::string& name : options_.edgeCases) replies.emplace_back(name, *EdgeCaseReply(name, base));
  }
  for (const auto& [label, datagram] : replies) {
    const bool sent = SendDatagram(datagram, received.fromAddress, received.fromPort);
    Log("sent reply for \"%s\", %zu bytes, to %s:%u%s\n", label.c_str(), datagram.size(), received.fromAddress.c_str(),
        received.fromPort, sent ? "" : " (failed)");
    if (!sent) continue;
    std::lock_guard lock(mutex_);
    ++repliesSent_;
  }
}

void Simulator::ApplyModificationRequest(const Received& received) {
  const Request& request = received.request;
  const bool applied = ChangeCamera(request.serialNumber, [&](Camera& camera) { ApplyModification(camera, request); });
  Log("modification for \"%s\" %s\n", request.serialNumber.c_str(), applied ? "applied" : "ignored: no such camera");
}

bool Simulator::SendDatagram(const std::string& bytes, const std::string& address, std::uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return false;
  const ssize_t sent = sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent == static_cast<ssize_t>(bytes.size());
}

void Simulator::Log(const char* format, ...) {
  if (options_.log == nullptr) return;
  std::lock_guard lock(logMutex_);
  std::fputs("camsim: ", options_.log);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(options_.log, format, arguments);
  va_end(arguments);
  std::fflush(options_.log);
}

}  // namespace camsim
