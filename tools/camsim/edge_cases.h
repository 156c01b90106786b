// Replies that no well-behaved camera sends, made on demand around a camera's own description:
// broken envelopes, ill-formed or oversized texts, missing or odd parts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camsim/camera.h"

namespace camsim {

struct EdgeCase {
  const char* name;
  const char* description;
};

/// Every edge case by name, in a fixed order.
const std::vector<EdgeCase>& EdgeCases();

/// The datagram of the edge case `name` built around `camera`, or nothing for an unknown name.
std::optional<std::string> EdgeCaseReply(const std::string& name, const Camera& camera);

}  // namespace camsim
