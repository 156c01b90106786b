// What the program prints about cameras: tables for people, JSON and CSV for scripts. The tables
// and the details show camera text escaped (shown_text.h); JSON carries it exactly, and CSV
// exactly but guarded against formulas.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "client/addresses.h"
#include "client/batch_assignment.h"
#include "client/camera_record.h"

namespace prowlnet_cli {

using namespace prowlnet_client;

/// A camera found, and whether this computer can reach its address (it lies on one of its subnets).
struct FoundCamera {
  CameraRecord record;
  bool reachable;
};

std::vector<FoundCamera> WithReachability(const std::vector<CameraRecord>& cameras, const std::vector<Subnet>& subnets);

std::string CameraTable(const std::vector<FoundCamera>& cameras);
std::string CameraCsv(const std::vector<FoundCamera>& cameras);
/// One camera; its accounts when `withAccounts`, passwords masked unless `showPasswords`.
nlohmann::json CameraJson(const FoundCamera& camera, bool withAccounts, bool showPasswords);
nlohmann::json CamerasJson(const std::vector<FoundCamera>& cameras);
/// One camera as a person reads it, accounts included.
std::string CameraDetails(const FoundCamera& camera, bool showPasswords);
/// The IPC_INFO document with every Password value masked unless `showPasswords`, and the
/// characters a terminal would obey escaped (its own line breaks kept).
std::string MaskedDocument(const std::string& document, bool showPasswords);

/// One camera of an assignment and its state ("planned", "confirmed", "timeout", ...), as scripts
/// read it: serial, from, to, netmask, gateway (null when left as it was) and state.
nlohmann::json AssignmentJson(const PlannedAddress& planned, const std::string& state);
/// The cameras of an assignment, each with its state, as a table for people.
std::string AssignmentTable(const std::vector<std::pair<PlannedAddress, std::string>>& rows);

}  // namespace prowlnet_cli
