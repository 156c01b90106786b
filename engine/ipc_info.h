// The record kept for one camera. Its byte layout is also the buffer format that GetIPCInfo and
// ModifyIPC pass across the automation interface, so the engine keeps its table in the record the
// control publishes (IpcInfo, UserCfg, MediaStreamCfg, LANCfg).
#pragma once

#include "prowlnet/ipc_record.h"
