// A simulated camera as it describes itself in a search reply, and the texts it exchanges with
// a control: the reply it sends, the requests it reads.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace camsim {

/// The attributes of one element, in the order in which they are written.
using Attributes = std::vector<std::pair<std::string, std::string>>;

/// The value of the attribute `name`, or null when there is none.
const std::string* Find(const Attributes& attributes, const std::string& name);

/// Gives the attribute `name` the value `value`, appending it when there is none yet.
void Set(Attributes& attributes, const std::string& name, const std::string& value);

/// One camera. Each part left empty is missing from its replies, as a faulty device would leave it.
struct Camera {
  std::optional<std::string> serialNumber;          // IPC_SERIALNUMBER, attribute SerialNumber
  std::optional<std::string> deviceType;            // DEVICE_TYPE, attribute DeviceType
  std::optional<Attributes> lan;                    // LANConfig
  std::optional<std::vector<Attributes>> streams;   // StreamAccess children of MediaStreamConfig
  std::optional<std::vector<Attributes>> accounts;  // Account children of UserConfig
};

/// The message codes of the discovery protocol.
enum MessageCode { kSearchRequest = 1, kModifyRequest = 2, kSearchReply = 3 };

/// The whole datagram of a discovery message with `code` around `body` (sent as it is).
std::string BuildMessage(int code, const std::string& body);

/// The elements in which `camera` describes itself, as the body of a reply.
std::string BuildReplyBody(const Camera& camera);

/// The search reply of `camera`.
std::string BuildReply(const Camera& camera);

/// `count` cameras numbered from `first`, with distinct serial numbers, MAC addresses and IP
/// addresses, of the type "NVS-2210" and with replies of about 1.5 KB.
std::vector<Camera> GenerateCameras(int count, int first = 0);

/// The cameras described by the CAMERA elements of an XML file; each holds the elements of a
/// reply body. Empty, with `error` set, when the file cannot be read or parsed.
std::vector<Camera> LoadCameras(const std::string& path, std::string* error);

/// The cameras described by the CAMERA elements of an XML text.
std::vector<Camera> ParseCameras(const std::string& text, std::string* error);

/// A received datagram as the simulator understands it.
struct Request {
  bool wellFormed = false;   // an XML text with a MESSAGE_HEADER
  int code = 0;              // Msg_code, read as a decimal number
  std::string serialNumber;  // for a modification: the camera it names
  Attributes lan;            // for a modification: the new LAN settings
};

Request ParseRequest(const std::string& bytes);

/// Applies a modification's LAN settings to `camera`: every attribute it carries replaces or
/// joins the camera's own.
void ApplyModification(Camera& camera, const Request& request);

}  // namespace camsim
