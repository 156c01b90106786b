// The program's subcommands. Each returns the process's exit status.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "lan_change.h"

namespace prowlnet_cli {

enum ExitStatus { kOk = 0, kFailed = 1, kBadInput = 2, kTimedOut = 3 };

enum class Format { kTable, kJson, kCsv };

struct SearchOptions {
  double seconds = 5;
  std::optional<int> expect;
  Format format = Format::kTable;
};

struct ShowOptions {
  std::string serial;
  double seconds = 10;
  bool xml = false;
  bool json = false;
  bool showPasswords = false;
};

struct SetOptions {
  std::string serial;
  LanChange change;
  double seconds = 20;
};

struct AssignOptions {
  std::string from;
  std::string to;
  std::vector<std::string> serials;
  double seconds = 20;
  bool dryRun = false;
};

int RunSearch(const SearchOptions& options);
int RunShow(const ShowOptions& options);
int RunSet(const SetOptions& options);
int RunAssign(const AssignOptions& options);
int RunNetParams(bool json);
/// Searches for `seconds` first, so that the cameras' own addresses are passed over.
int RunFreeAddress(double seconds);
int RunRegister(bool unregister);
/// Serves the web page and its API on `listen` (HOST:PORT) until SIGINT or SIGTERM.
int RunServe(const std::string& listen);

}  // namespace prowlnet_cli
