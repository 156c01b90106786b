// The registry file and its lock. Readers share the lock; a writer holds it alone, writes a new
// file beside the current one, keeps the current one as the previous copy and renames the new one
// into place, so that two processes never lose each other's changes and a crash at any moment
// leaves a whole registry behind.
#pragma once

#include <functional>

#include "advapi32/registry_tree.h"

namespace pal::registry {

/// Runs `read` on the registry as it is now and returns its status (or the file's error).
LONG ReadRegistry(const std::function<LONG(Hives&)>& read);

/// Runs `change` on the registry as it is now and, if it succeeds and changed anything, makes the
/// result the registry before any other process reads or changes it.
LONG ChangeRegistry(const std::function<LONG(Hives&)>& change);

}  // namespace pal::registry
