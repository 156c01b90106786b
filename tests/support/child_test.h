// Running the body of a test in a child process under `ip netns exec`, so that the whole child,
// every thread it starts included, sees one namespace's network and /etc/resolv.conf.
//
//   TEST(Suite, Name) {
//     if (!InTestChild()) {
//       Namespace netns("role");          // the parent builds the network ...
//       netns.WriteResolvConf("...");
//       RunThisTestIn(netns);              // ... and runs this same test in it
//       return;
//     }
//     ...                                  // the body, in the child
//   }
#pragma once

#include "support/netns.h"

namespace test_support {

/// True in a child that RunThisTestIn started.
bool InTestChild();

/// Runs the current test again, alone, in a child process under `ip netns exec` of `netns`, and
/// fails the current test if the child does not pass. The child's output goes to this process's.
void RunThisTestIn(const Namespace& netns);

}  // namespace test_support
