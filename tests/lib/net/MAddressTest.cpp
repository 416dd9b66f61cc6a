#include <gtest/gtest.h>

#include "lib/core/MDataStream.h"
#include "lib/core/MException.h"
#include "lib/core/MTypeRegistry.h"
#include "lib/net/MAddress.h"

TEST(MAddress, TextValueAndComparisons) {
  EXPECT_STREQ("0.0.0.0", MAddress().toString().getValue());
  MAddress a("10.0.0.1");
  EXPECT_STREQ("10.0.0.1", a.toString().getValue());
  EXPECT_TRUE(a == "10.0.0.1");
  EXPECT_TRUE(a == MAddress("10.0.0.1"));
  EXPECT_FALSE(a == "10.0.0.2");
  // Network byte order: the first number is the lowest byte on this machine.
  EXPECT_EQ(0x0100000Au, a.getAddress());
  EXPECT_TRUE(a == 0x0100000Au);
  EXPECT_STREQ("255.255.255.255", MAddress("not an address").toString().getValue());
  MAddress b;
  b.setAddress(a);
  EXPECT_TRUE(b == a);
  b.setAddress("127.0.0.1");
  EXPECT_STREQ("127.0.0.1", b.toString().getValue());
  EXPECT_EQ(26, a.getType());
  EXPECT_STREQ("MAddress", a.getTypeName().getValue());
  EXPECT_TRUE(a.isKindOf("MAddress"));
  EXPECT_TRUE(a.isKindOf((uchar)26));
  EXPECT_EQ(5, a.getStreamSize());
}

TEST(MAddress, RecordReadsBack) {
  MDataStream stream;
  MAddress written("192.168.7.9");
  written.writeStream(&stream);
  EXPECT_EQ(5, stream.getWritePos());
  MObject* read = MTypeRegistry::instance().newObject(26);
  ASSERT_NE(nullptr, read);
  read->readStream(&stream);
  EXPECT_TRUE(*(MAddress*)read == written);
  delete read;

  MDataStream wrong;
  wrong << (uchar)11;
  MAddress target;
  try {
    target.readStream(&wrong);
    FAIL();
  } catch (const MException& e) {
    EXPECT_STREQ("void MAddress::readStream(MInputStream *_stream)", e.getLocation().getValue());
    ASSERT_NE(nullptr, e.getInner());
    EXPECT_STREQ("Wrong type", e.getInner()->getMessage().getValue());
  }
}
