#include "output.h"

#include <algorithm>

#include <fmt/format.h>

#include "shown_text.h"

namespace prowlnet_cli {
namespace {

constexpr const char* kMask = "********";

/// A camera's row as the camera wrote it (for CSV).
std::vector<std::string> ExactRow(size_t index, const FoundCamera& camera) {
  const CameraRecord& r = camera.record;
  const LanSettings lan = r.Lan();
  return {std::to_string(index),
          r.SerialNumber(),
          r.DeviceType(),
          lan.ipAddress,
          lan.netmask,
          lan.gateway,
          r.MacAddress(),
          lan.dhcp != 0 ? "on" : "off",
          std::to_string(r.VideoPort()),
          std::to_string(r.WebPort()),
          std::to_string(r.PtzPort())};
}

/// A camera's row for the table: every text escaped, the address marked when it is out of reach.
std::vector<std::string> TableRow(size_t index, const FoundCamera& camera) {
  std::vector<std::string> row = ExactRow(index, camera);
  for (std::string& cell : row) cell = Printable(cell);
  if (!camera.reachable) row[3] += " !";
  return row;
}

/// The display width of UTF-8 text: one column a code point, two for CJK ideographs.
size_t Width(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    width += length == 3 ? 2 : 1;
    i += length;
  }
  return width;
}

std::string Padded(const std::string& text, size_t width) { return text + std::string(width - std::min(width, Width(text)), ' '); }

/// Rows as lines of columns two spaces apart, each as wide as its widest cell, without trailing
/// blanks.
std::string AlignedColumns(const std::vector<std::vector<std::string>>& rows) {
  std::vector<size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows)
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
  std::string table;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) line += (c == 0 ? "" : "  ") + Padded(row[c], widths[c]);
    line.erase(line.find_last_not_of(' ') + 1);
    table += line + "\n";
  }
  return table;
}

}  // namespace

std::vector<FoundCamera> WithReachability(const std::vector<CameraRecord>& cameras, const std::vector<Subnet>& subnets) {
  std::vector<FoundCamera> found;
  for (const CameraRecord& record : cameras) {
    const auto address = ParseDottedQuad(record.Lan().ipAddress);
    found.push_back({record, address && OnAnySubnet(subnets, *address)});
  }
  return found;
}

std::string CameraTable(const std::vector<FoundCamera>& cameras) {
  std::vector<std::vector<std::string>> rows = {
      {"#", "SERIAL", "TYPE", "IP ADDRESS", "NETMASK", "GATEWAY", "MAC", "DHCP", "VIDEO", "WEB", "PTZ"}};
  for (size_t i = 0; i < cameras.size(); ++i) rows.push_back(TableRow(i, cameras[i]));
  std::string table = AlignedColumns(rows);
  const bool anyUnreachable = std::any_of(cameras.begin(), cameras.end(), [](const FoundCamera& c) { return !c.reachable; });
  if (anyUnreachable) table += "! not on any subnet of this computer: change its address to reach it\n";
  return table;
}

std::string CameraCsv(const std::vector<FoundCamera>& cameras) {
  std::string csv = "index,serial,type,ip,netmask,gateway,mac,dhcp,video_port,web_port,ptz_port,reachable\n";
  for (size_t i = 0; i < cameras.size(); ++i) {
    std::vector<std::string> row = ExactRow(i, cameras[i]);
    row.push_back(cameras[i].reachable ? "yes" : "no");
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) line += (c == 0 ? "" : ",") + CsvCell(row[c]);
    csv += line + "\n";
  }
  return csv;
}

nlohmann::json CameraJson(const FoundCamera& camera, bool withAccounts, bool showPasswords) {
  const CameraRecord& r = camera.record;
  const LanSettings lan = r.Lan();
  nlohmann::json json = {
      {"serialNumber", r.SerialNumber()}, {"deviceType", r.DeviceType()},   {"macAddress", r.MacAddress()},
      {"ipAddress", lan.ipAddress},       {"netmask", lan.netmask},         {"gateway", lan.gateway},
      {"dns1", lan.dns1},                 {"dns2", lan.dns2},               {"dhcp", lan.dhcp != 0},
      {"videoPort", r.VideoPort()},       {"webPort", r.WebPort()},         {"ptzPort", r.PtzPort()},
      {"auth", r.Auth()},                 {"rtpOverRtsp", r.RtpOverRtsp()}, {"reachable", camera.reachable},
  };
  if (!withAccounts) return json;
  json["accounts"] = nlohmann::json::array();
  for (const Account& account : r.Accounts()) {
    json["accounts"].push_back({{"username", account.username},
                                {"password", showPasswords ? account.password : kMask},
                                {"group", account.group},
                                {"status", account.status}});
  }
  return json;
}

nlohmann::json CamerasJson(const std::vector<FoundCamera>& cameras) {
  nlohmann::json list = nlohmann::json::array();
  for (const FoundCamera& camera : cameras) list.push_back(CameraJson(camera, false, false));
  return list;
}

std::string CameraDetails(const FoundCamera& camera, bool showPasswords) {
  const CameraRecord& r = camera.record;
  const LanSettings lan = r.Lan();
  std::string text;
  const auto line = [&](const char* name, const std::string& value) { text += fmt::format("{:<13} {}\n", name, value); };
  line("Serial", Printable(r.SerialNumber()));
  line("Type", Printable(r.DeviceType()));
  line("MAC", Printable(r.MacAddress()));
  line("IP address", Printable(lan.ipAddress) + (camera.reachable ? "" : "  (not on any subnet of this computer)"));
  line("Netmask", Printable(lan.netmask));
  line("Gateway", Printable(lan.gateway));
  line("DNS", Printable(lan.dns1) + (lan.dns2.empty() ? "" : ", " + Printable(lan.dns2)));
  line("DHCP", lan.dhcp != 0 ? "on" : "off");
  line("Ports", fmt::format("video {}, web {}, PTZ {}", r.VideoPort(), r.WebPort(), r.PtzPort()));
  line("Stream", fmt::format("authentication {}, RTP over RTSP {}", r.Auth(), r.RtpOverRtsp()));
  const std::vector<Account> accounts = r.Accounts();
  text += fmt::format("Accounts ({})\n", accounts.size());
  for (const Account& account : accounts) {
    text += fmt::format("  {}  password {}  group {}  status {}\n", Padded(Printable(account.username), 20),
                        showPasswords ? Printable(account.password) : kMask, Printable(account.group),
                        Printable(account.status));
  }
  return text;
}

std::string MaskedDocument(const std::string& document, bool showPasswords) {
  if (showPasswords) return Printable(document, LineBreaks::kKept);
  std::string masked = document;
  const std::string key = "Password=\"";
  for (size_t at = masked.find(key); at != std::string::npos; at = masked.find(key, at)) {
    at += key.size();
    // The control writes values unescaped, each attribute on a line of its own: a password may
    // hold a quote, so the value ends at the quote that ends the line.
    size_t end = masked.find("\"\r\n", at);
    if (end == std::string::npos) end = masked.find('"', at);
    if (end == std::string::npos) break;
    masked.replace(at, end - at, kMask);
  }
  return Printable(masked, LineBreaks::kKept);
}

nlohmann::json AssignmentJson(const PlannedAddress& planned, const std::string& state) {
  return {{"serial", planned.serial},
          {"from", planned.from},
          {"to", planned.to},
          {"netmask", planned.netmask},
          {"gateway", planned.gateway ? nlohmann::json(*planned.gateway) : nlohmann::json(nullptr)},
          {"state", state}};
}

std::string AssignmentTable(const std::vector<std::pair<PlannedAddress, std::string>>& rows) {
  std::vector<std::vector<std::string>> lines = {{"SERIAL", "FROM", "TO", "STATE"}};
  // The serial and the address it had are the camera's own text.
  for (const auto& [planned, state] : rows)
    lines.push_back({Printable(planned.serial), Printable(planned.from), Printable(planned.to), state});
  return AlignedColumns(lines);
}

}  // namespace prowlnet_cli
