// Streams on memory: the bytes of a stream made by CreateStreamOnHGlobal, or of a stream in a
// memory storage, shared by every stream object open on them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pal/objidl.h"

namespace pal::ole32 {

/// A stream's bytes and how many stream objects are open on them.
struct StreamContents {
  std::vector<BYTE> bytes;
  int openStreams = 0;
};

/// A stream object on `contents`, at position 0; `name` is what Stat reports (none if empty).
HRESULT OpenMemoryStream(std::shared_ptr<StreamContents> contents, bool writable, std::u16string name,
                         IStream** stream);

}  // namespace pal::ole32
