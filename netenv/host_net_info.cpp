#include "netenv/host_net_info.h"

namespace prowlnet {

int LoadHostNetInfo(SharedState&) { return 0; }

}  // namespace prowlnet
