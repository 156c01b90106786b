// The shape check in front of IXML: what it lets through and what it keeps from IXML.
#include <gtest/gtest.h>

#include "camsim/camera.h"
#include "engine/xml_shape.h"

namespace {

using prowlnet::HasWellFormedShape;

TEST(XmlShape, LetsThroughRepliesDocumentsAndBareElements) {
  EXPECT_TRUE(HasWellFormedShape(camsim::BuildReply(camsim::GenerateCameras(1)[0])));
  EXPECT_TRUE(HasWellFormedShape("<IPC_INFO>\n<LANConfig\r\nIPAddress=\"1>2\"\r\n/>\n</IPC_INFO>"));
  EXPECT_TRUE(HasWellFormedShape("<?xml version='1.0'?><!-- c --><a b = 'x'><![CDATA[>&]]>&amp;</a >\n<?pi?>"));
}

TEST(XmlShape, KeepsFromIxmlWhatItWouldLeakOnOrReadItsOwnWay) {
  EXPECT_FALSE(HasWellFormedShape("<a/>x"));
  EXPECT_FALSE(HasWellFormedShape("<a/><!-- c -->x"));
  EXPECT_FALSE(HasWellFormedShape("<a><!--></a>--></a>"));
  EXPECT_FALSE(HasWellFormedShape("<a><!---></a>--></a>"));
  EXPECT_FALSE(HasWellFormedShape("<a/><![CDATA[x]]>"));
  EXPECT_FALSE(HasWellFormedShape("<a><![CDATA[x</a>"));
  EXPECT_FALSE(HasWellFormedShape("<a><![CDATA[\"\xe6\x91\x84</a>o<]]></a>"));
  EXPECT_FALSE(HasWellFormedShape("<!DOCTYPE a><a/>"));
  EXPECT_FALSE(HasWellFormedShape("<a><b></a></b>"));
  EXPECT_FALSE(HasWellFormedShape("<a b=\"<\"/>"));
  EXPECT_FALSE(HasWellFormedShape("<a/><b/>"));
  EXPECT_FALSE(HasWellFormedShape("<a>"));
  EXPECT_FALSE(HasWellFormedShape(""));
}

}  // namespace
