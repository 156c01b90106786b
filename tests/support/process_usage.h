// What a long run watches for growth: this process's resident memory and open descriptors, and
// the UDP counters of the network namespace the calling thread is in.
#pragma once

#include <set>
#include <string>

namespace test_support {

/// Resident memory of this process in KiB.
long ResidentKib();

/// Open file descriptors of this process.
long OpenDescriptors();

/// A field of the Udp line of /proc/net/snmp as the calling thread's namespace sees it
/// ("InDatagrams": datagrams read by sockets, "RcvbufErrors": dropped for want of buffer); -1
/// when there is no such field.
long UdpCounter(const std::string& name);

/// The ids of this process's threads.
std::set<std::string> ThreadIds();

/// Nanoseconds that the threads `ids` have run on a CPU (the first field of their schedstat).
double CpuNanoseconds(const std::set<std::string>& ids);

}  // namespace test_support
