// The program's commands, each apart from the parsing of its options (main.cpp). Each returns the
// process's exit status.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "client/lan_change.h"

namespace prowlnet_cli {

// The commands are written over the client layer, by its names.
using namespace prowlnet_client;

enum ExitStatus { kOk = 0, kFailed = 1, kBadInput = 2, kTimedOut = 3, kInterrupted = 130 };

/// The longest wait a --seconds option may ask for: a day.
constexpr double kMaxSeconds = 86400;

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
  /// Without serials: stop searching once this many cameras answered.
  std::optional<int> expect;
  /// For the cameras to answer, and again for their confirmations.
  double seconds = 20;
  bool dryRun = false;
  Format format = Format::kTable;
};

struct NetParamsOptions {
  bool json = false;
};

struct FreeAddressOptions {
  /// Searches this long first, so that the cameras' own addresses are passed over.
  double seconds = 3;
};

struct RegisterOptions {
  bool unregister = false;
};

struct ServeOptions {
  /// HOST:PORT
  std::string listen = "127.0.0.1:8080";
  /// A directory whose pages are served under /pages/; none when empty.
  std::string pages;
};

int RunSearch(const SearchOptions& options);
int RunShow(const ShowOptions& options);
int RunSet(const SetOptions& options);
int RunAssign(const AssignOptions& options);
int RunNetParams(const NetParamsOptions& options);
int RunFreeAddress(const FreeAddressOptions& options);
int RunRegister(const RegisterOptions& options);
/// Serves the web page and its API until SIGINT or SIGTERM.
int RunServe(const ServeOptions& options);

}  // namespace prowlnet_cli
