// Memory streams and the memory storage, as the control's persistence uses them.
#include <cstring>

#include <gtest/gtest.h>

#include "pal/atlbase.h"
#include "pal/objidl.h"

namespace {

using ATL::CComPtr;

TEST(MemoryStream, GrowsAsItIsWrittenAndReadsBackFromWhereItWasSought) {
  CComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
  ULONG written = 0;
  ASSERT_EQ(stream->Write("abcdef", 6, &written), S_OK);
  EXPECT_EQ(written, 6u);
  LARGE_INTEGER back{};
  back.QuadPart = -4;
  ULARGE_INTEGER at{};
  ASSERT_EQ(stream->Seek(back, STREAM_SEEK_CUR, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 2u);
  char read[8] = {};
  ULONG count = 0;
  ASSERT_EQ(stream->Read(read, sizeof read, &count), S_OK);
  EXPECT_EQ(count, 4u) << "a read stops at the end";
  EXPECT_STREQ(read, "cdef");
  back.QuadPart = -1;
  EXPECT_EQ(stream->Seek(back, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
}

TEST(MemoryStorage, ReadsBackANamedStreamAndOpensItOnceAtATime) {
  CComPtr<IStorage> storage;
  ASSERT_EQ(pal::CreateMemoryStorage(&storage), S_OK);
  {
    CComPtr<IStream> stream;
    ASSERT_EQ(storage->CreateStream(u"Contents", STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0, &stream),
              S_OK);
    ASSERT_EQ(stream->Write("1234", 4, nullptr), S_OK);
    CComPtr<IStream> again;
    EXPECT_EQ(storage->OpenStream(u"Contents", nullptr, STGM_SHARE_EXCLUSIVE, 0, &again), STG_E_ACCESSDENIED);
  }
  CComPtr<IStream> reading;
  ASSERT_EQ(storage->OpenStream(u"CONTENTS", nullptr, STGM_SHARE_EXCLUSIVE, 0, &reading), S_OK);
  char read[5] = {};
  ASSERT_EQ(reading->Read(read, 4, nullptr), S_OK);
  EXPECT_STREQ(read, "1234");
  EXPECT_EQ(reading->Write("x", 1, nullptr), STG_E_ACCESSDENIED) << "opened for reading";
  CComPtr<IStream> missing;
  EXPECT_EQ(storage->OpenStream(u"Other", nullptr, STGM_SHARE_EXCLUSIVE, 0, &missing), STG_E_FILENOTFOUND);
}

}  // namespace
