// The host's text for ModifyIPCXML, from the automation string through the ANSI code page and the
// LAN reader into a record of a real control object, and on to the modification a camera reads.
#include <cstdlib>
#include <cstring>
#include <string>

#include "camsim/camera.h"
#include "engine/config_sections.h"
#include "engine/control_object.h"
#include "engine/envelope.h"
#include "engine/reply_intake.h"
#include "record_checks.h"
#include "pal/winnls.h"

using namespace prowlnet;

namespace {

/// The record the intake makes of camsim's first camera.
const IpcInfo& CameraRecord() {
  static const IpcInfo record = [] {
    SharedState shared;
    const std::string reply = camsim::BuildReply(camsim::GenerateCameras(1)[0]);
    HandleSearchReply(shared, reply.c_str(), static_cast<int>(reply.size()));
    FUZZ_CHECK(shared.table.count == 1);
    return *shared.table.slots[0];
  }();
  return record;
}

/// The input read as UTF-8, as a host's automation string; null when it does not convert.
BSTR HostString(const std::uint8_t* data, size_t size) {
  if (size == 0) return SysAllocStringLen(nullptr, 0);
  const auto* bytes = reinterpret_cast<const char*>(data);
  const int length = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
  if (length <= 0) return nullptr;
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (text != nullptr) MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), text, length);
  return text;
}

/// The modification message a camera would receive for `record` reads back as its LAN settings,
/// unless the text had to be cut to its buffer.
void CheckModificationReadsBack(const IpcInfo& record) {
  const OwnedText body = Network_buildLANCfgXml(record.serialNumber, record.lan);
  FUZZ_CHECK(body != nullptr);
  if (std::strlen(body.get()) >= kLanTextSize - 1) return;
  char envelope[kEnvelopeBufferSize];
  FUZZ_CHECK(BuildEnvelope(envelope, sizeof envelope, kModifyRequest, body.get()) > 0);
  LANCfg sent{};
  FUZZ_CHECK(Network_getLANCfgByXml(sent, envelope) == 0);
  FUZZ_CHECK(fuzz::SameBytes(sent, record.lan));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  // The code page of the hosts the control was made for: text that does not map is replaced.
  static const bool gbk = setenv("PROWLNET_ACP", "936", 1) == 0;
  FUZZ_CHECK(gbk);
  BSTR text = HostString(data, size);
  if (text == nullptr) return -1;

  CCProwlnet control;
  {
    CriticalSectionLock lock(control.shared().lock);
    control.shared().table.slots[0] = std::make_unique<IpcInfo>(CameraRecord());
    control.shared().table.count = 1;
  }
  LONG result = 99;
  FUZZ_CHECK(control.ModifyIPCXML(0, text, &result) == S_OK);
  SysFreeString(text);
  FUZZ_CHECK(result == 0 || result == -2);

  IpcInfo changed;
  LONG copied = 99;
  control.GetIPCInfo(0, reinterpret_cast<BYTE*>(&changed), sizeof changed, &copied);
  FUZZ_CHECK(copied == 0 && fuzz::RecordIsWhole(changed));
  if (result != 0) {
    FUZZ_CHECK(fuzz::SameBytes(changed, CameraRecord()));
    return 0;
  }
  CheckModificationReadsBack(changed);
  BSTR document = nullptr;
  FUZZ_CHECK(control.GetIPCInfoXML(0, &document) == S_OK && SysStringLen(document) > 0);
  SysFreeString(document);
  return 0;
}
