// For tests of what fails when no window can be made: the process's window quota used up.
#pragma once

namespace test_support {

/// Creates hidden windows until the process may make no more; false if that could not begin.
bool UseUpWindowQuota();

}  // namespace test_support
