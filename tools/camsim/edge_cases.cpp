#include "camsim/edge_cases.h"

#include <functional>

namespace camsim {
namespace {

constexpr size_t kLargestDatagram = 2048;  // what the control receives whole

/// `reply` with `from` replaced by `to` at its first occurrence.
std::string Replaced(std::string reply, const std::string& from, const std::string& to) {
  const size_t at = reply.find(from);
  if (at != std::string::npos) reply.replace(at, from.size(), to);
  return reply;
}

/// `reply` padded with spaces inside its body to exactly `size` bytes (unchanged if longer).
std::string PaddedTo(std::string reply, size_t size) {
  const size_t at = reply.find("</MESSAGE_BODY>");
  if (reply.size() < size && at != std::string::npos) reply.insert(at, size - reply.size(), ' ');
  return reply;
}

Camera With(Camera camera, const std::function<void(Camera&)>& change) {
  change(camera);
  return camera;
}

struct Maker {
  EdgeCase edgeCase;
  std::function<std::string(const Camera&)> make;
};

const std::vector<Maker>& Makers() {
  static const std::vector<Maker> makers = {
      {{"no-end-marker", "the closing </XML_MORVEK> is missing"},
       [](const Camera& c) { return Replaced(BuildReply(c), "</XML_MORVEK>", ""); }},
      {{"ill-formed", "the LANConfig element is never closed"},
       [](const Camera& c) { return Replaced(BuildReply(c), "/>\r\n<MediaStreamConfig>", "\r\n<MediaStreamConfig>"); }},
      {{"gb2312", "a serial number in GB2312 bytes, which are not UTF-8"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.serialNumber = "\xb0\xa1\xb0\xa2"; })); }},
      {{"code-4", "a well-formed message with Msg_code 4"},
       [](const Camera& c) { return BuildMessage(4, BuildReplyBody(c)); }},
      {{"no-flag", "a header without Msg_flag"},
       [](const Camera& c) { return Replaced(BuildReply(c), "Msg_flag=\"0\"\n", ""); }},
      {{"empty", "a datagram of no bytes"}, [](const Camera&) { return std::string(); }},
      {{"exactly-2048", "a good reply padded to 2048 bytes"},
       [](const Camera& c) { return PaddedTo(BuildReply(c), kLargestDatagram); }},
      {{"oversize", "a good reply padded to 2049 bytes"},
       [](const Camera& c) { return PaddedTo(BuildReply(c), kLargestDatagram + 1); }},
      {{"no-serial", "no IPC_SERIALNUMBER element"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.serialNumber.reset(); })); }},
      {{"empty-serial", "SerialNumber=\"\""},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.serialNumber = ""; })); }},
      {{"long-serial", "a serial number of 40 characters"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.serialNumber = std::string(40, '7'); })); }},
      {{"no-type", "no DEVICE_TYPE element"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.deviceType.reset(); })); }},
      {{"not-nvs", "a device type without NVS (nvs in lower case)"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.deviceType = "nvs-lowercase"; })); }},
      {{"no-lan", "no LANConfig element"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.lan.reset(); })); }},
      {{"no-stream", "no MediaStreamConfig element"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.streams.reset(); })); }},
      {{"no-user", "no UserConfig element"},
       [](const Camera& c) { return BuildReply(With(c, [](Camera& x) { x.accounts.reset(); })); }},
      {{"many-accounts", "25 short Account children"},
       [](const Camera& c) {
         return BuildReply(With(c, [](Camera& x) {
           x.accounts = std::vector<Attributes>{};
           for (int i = 0; i < 25; ++i) x.accounts->push_back({{"Username", "u" + std::to_string(i)}});
         }));
       }},
  };
  return makers;
}

}  // namespace

const std::vector<EdgeCase>& EdgeCases() {
  static const std::vector<EdgeCase> cases = [] {
    std::vector<EdgeCase> all;
    for (const Maker& maker : Makers()) all.push_back(maker.edgeCase);
    return all;
  }();
  return cases;
}

std::optional<std::string> EdgeCaseReply(const std::string& name, const Camera& camera) {
  for (const Maker& maker : Makers()) {
    if (name == maker.edgeCase.name) return maker.make(camera);
  }
  return std::nullopt;
}

}  // namespace camsim
