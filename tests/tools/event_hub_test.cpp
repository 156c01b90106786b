// The web host's event hub: a stream that falls behind is told to read the list again instead of
// losing events unseen.
#include <gtest/gtest.h>

#include "serve/event_hub.h"

namespace prowlnet_cli {
namespace {

using namespace std::chrono_literals;

TEST(EventHub, AStreamThatFallsBehindGetsResyncInPlaceOfTheEventsItLost) {
  EventHub hub;
  const auto slow = hub.Subscribe();
  for (int i = 0; i < 5000; ++i) hub.Publish("camera", {{"index", i}});
  std::vector<std::string> received;
  while (std::optional<std::string> event = slow->Next(0ms)) received.push_back(*event);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.front(), "event: resync\ndata: {}\n\n");
  EXPECT_EQ(received.back(), "event: camera\ndata: {\"index\":4999}\n\n") << "nothing after the resync is lost";
  EXPECT_EQ(received[1], "event: camera\ndata: {\"index\":" + std::to_string(5000 - received.size() + 1) + "}\n\n");
}

}  // namespace
}  // namespace prowlnet_cli
