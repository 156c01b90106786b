// Reading a datagram once gives what reading it once per reader gives. For thousands of camera
// replies, edge cases and mutations of them, the device table and the log are the same whether
// the intake reads one document or parses the text afresh at each step, as the design describes
// it (five parses of an accepted reply).
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "camsim/camera.h"
#include "camsim/edge_cases.h"
#include "diag/debug_log.h"
#include "engine/config_sections.h"
#include "engine/envelope.h"
#include "engine/reply_intake.h"
#include "engine/text_field.h"
#include "support/log_capture.h"
#include "support/temp_prefix.h"

namespace prowlnet {
namespace {

constexpr size_t kInputs = 3000;

/// The oracle: the intake of one datagram with every step parsing the text for itself.
void TakeParsingAtEachStep(SharedState& shared, const char* text) {
  char type[kHeaderFieldSize];
  char code[kHeaderFieldSize];
  char flag[kHeaderFieldSize];
  if (ParseMessageHeader(text, type, code, flag) != 0 || AtoiValue(code) != kSearchReply) {
    DebugLog("recv message: %s\n", text);
    return;
  }
  auto record = std::make_unique<IpcInfo>();
  if (ParseSerialAndType(record->serialNumber, record->deviceType, text) != 0) {
    DebugLog("serial number not found\n, msg=%s", text);
    return;
  }
  if (!IsCameraType(record->deviceType)) {
    DebugLog("Found one device not IPC, type=%s, sn=%s\n", record->deviceType, record->serialNumber);
    return;
  }
  if (Network_getLANCfgByXml(record->lan, text) != 0) {
    DebugLog("lan config not found.\n");
    return;
  }
  if (GetMediaStreamCfgByXml(record->stream, text) != 0) {
    DebugLog("stream config not found.\n");
    return;
  }
  if (System_getUserCfgByXml(record->user, text) != 0) {
    DebugLog("user config not found.\n");
    return;
  }
  EnterRecord(shared, std::move(record));
}

/// Good replies of a few cameras, and every edge case (the GB2312 one also declared as GBK).
std::vector<std::string> Originals() {
  const std::vector<camsim::Camera> cameras = camsim::GenerateCameras(20);
  std::vector<std::string> originals;
  for (const camsim::Camera& camera : cameras) originals.push_back(camsim::BuildReply(camera));
  for (const camsim::EdgeCase& edge : camsim::EdgeCases())
    originals.push_back(*camsim::EdgeCaseReply(edge.name, cameras[1]));
  std::string gbk = *camsim::EdgeCaseReply("gb2312", cameras[2]);
  gbk.replace(gbk.find("GB2312"), 6, "gbk");
  originals.push_back(gbk);
  return originals;
}

/// `original` unchanged, cut short (the closing marker put back half the time), or with a few
/// bytes replaced by ones that matter to XML, to UTF-8 or to GB2312.
std::string Mutated(const std::string& original, std::mt19937& random) {
  static const char kBytes[] = "<>\"'/= &;#x\r\n0A\xB0\xA1\xC3\xFF\x80";
  if (original.empty()) return original;
  auto below = [&](size_t n) { return static_cast<size_t>(random() % n); };
  switch (random() % 3) {
    case 0:
      return original;
    case 1: {
      std::string cut = original.substr(0, below(original.size()));
      if (random() % 2 == 0) cut += "</XML_MORVEK>";
      return cut;
    }
    default: {
      std::string changed = original;
      for (size_t flips = 1 + below(4); flips > 0; --flips)
        changed[below(changed.size())] = kBytes[below(sizeof kBytes - 1)];
      return changed;
    }
  }
}

TEST(SingleParse, TableAndLogAreThoseOfAParseAtEachStep) {
  test_support::TempPrefix prefix;
  const test_support::LogCapture log(prefix);
  DebugLogOpen();
  std::mt19937 random(18);
  const std::vector<std::string> originals = Originals();
  std::vector<std::string> inputs;
  for (size_t i = 0; i < kInputs; ++i) inputs.push_back(Mutated(originals[i % originals.size()], random));

  SharedState once;
  for (const std::string& input : inputs) HandleDatagram(once, input.c_str(), static_cast<int>(input.size()));
  const size_t linesOnce = log.Messages().size();
  SharedState atEachStep;
  for (const std::string& input : inputs) TakeParsingAtEachStep(atEachStep, input.c_str());
  DebugLogClose();

  const std::vector<std::string> lines = log.Messages();
  ASSERT_EQ(lines.size(), 2 * linesOnce - 1) << "the build banner, then the same number of lines each way";
  for (size_t i = 1; i < linesOnce; ++i) ASSERT_EQ(lines[i], lines[i + linesOnce - 1]) << "line " << i;
  ASSERT_EQ(once.table.count, atEachStep.table.count);
  EXPECT_GT(once.table.count, 20) << "mutated serial numbers make devices of their own";
  bool gb2312Taken = false;
  for (int i = 0; i < once.table.count; ++i)
    gb2312Taken |= std::strcmp(once.table.slots[i]->serialNumber, "\xB0\xA1\xB0\xA2") == 0;
  EXPECT_TRUE(gb2312Taken) << "the serial number in GB2312 bytes, as the camera wrote it";
  for (int i = 0; i < once.table.count; ++i)
    ASSERT_EQ(std::memcmp(once.table.slots[i].get(), atEachStep.table.slots[i].get(), sizeof(IpcInfo)), 0) << i;
}

}  // namespace
}  // namespace prowlnet
