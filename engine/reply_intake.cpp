#include "engine/reply_intake.h"

namespace prowlnet {

void HandleSearchReply(SharedState&, const char*, int) {}

}  // namespace prowlnet
