#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GImageFolder.h"
#include "db/GUser.h"
#include "lib/core/MException.h"
#include "lib/core/MStream.h"

namespace {

// A stream over a byte vector, enough to write records and read them back.
class VectorStream : public MStream {
 public:
  int readData(void* _value, int _size) override {
    int n = 0;
    while (n < _size && pos < bytes.size()) ((unsigned char*)_value)[n++] = bytes[pos++];
    return n;
  }
  int writeData(void* _value, int _size) override {
    bytes.insert(bytes.end(), (unsigned char*)_value, (unsigned char*)_value + _size);
    return _size;
  }
  uchar getNextByte() override {
    if (pos >= bytes.size()) throw MException("### TEST ###", "empty");
    return bytes[pos];
  }
  Int64 getInputBytes() override { return (Int64)(bytes.size() - pos); }

  std::vector<unsigned char> bytes;
  size_t pos = 0;
};

std::string printed(MObject& _object, int _indent) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* f = open_memstream(&buffer, &size);
  _object.print(f, _indent);
  fclose(f);
  std::string out(buffer, size);
  free(buffer);
  return out;
}

}  // namespace

TEST(GEntity, DefaultsAndTextForms) {
  GUser user;
  EXPECT_EQ(-1, user.id);
  EXPECT_FALSE(user.enabled);
  EXPECT_EQ(100, user.imageLimit);
  EXPECT_TRUE(user.imageAccept);
  EXPECT_TRUE(user.folderAccept);
  EXPECT_STREQ("eng", user.language.getValue());
  EXPECT_STREQ("GUser: id=-1, username=, firstname=, lastname=, password=(none), upload=0, download=0",
               user.toString().getValue());
  EXPECT_EQ("    GUser: id=-1, username=, firstname=, lastname=, password=(none), upload=0, download=0\n",
            printed(user, 2));
  EXPECT_STREQ("GUser", user.getTypeName().getValue());
  EXPECT_EQ(0, user.getType());

  GImage image;
  image.width = -3;
  EXPECT_STREQ("GImage: id=0, user=0, status=0, date=, width=-3, height=0, size=0",
               image.toString().getValue());

  GFolder folder;
  EXPECT_TRUE(folder.enabled);
  EXPECT_STREQ("GFolder: id=0, parentId=0, name=", folder.toString().getValue());
  EXPECT_EQ(0, folder.getStreamSize());

  GImageFolder link;
  link.folder = 4;
  link.image = 12;
  link.user = 7;
  link.status = 1;
  EXPECT_STREQ("GImageFolder: folder=4, image=12, user=7, status=1", link.toString().getValue());
  EXPECT_EQ("  GImageFolder: folder=4, image=12, user=7, status=1", printed(link, 1));
  EXPECT_EQ(0, link.getStreamSize());
}

TEST(GEntity, CopiesAreDeepAndIndependent) {
  GUser user;
  user.username = "amy";
  user.imageUpload = true;
  MObject* copy = user.duplicate();
  user.username = "bob";
  EXPECT_STREQ("amy", ((GUser*)copy)->username.getValue());
  EXPECT_TRUE(((GUser*)copy)->imageUpload);
  delete copy;
  MObject* fresh = user.newObject();
  EXPECT_EQ(-1, ((GUser*)fresh)->id);
  delete fresh;

  GFolder a;
  a.name = "x";
  a.parentId = 3;
  GFolder b;
  b = a;
  a.name = "y";
  EXPECT_STREQ("x", b.name.getValue());
  EXPECT_EQ(3, b.parentId);
}

TEST(GEntity, DefaultImageRecordIsThirtyBytes) {
  GImage image;
  VectorStream stream;
  image.writeStream(&stream);
  std::vector<unsigned char> expected = {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x0B, 0, 0,
                                         0,    0, 0, 0, 0, 0, 0, 0, 0x0B, 0, 0, 0x0B, 0, 0,
                                         0x0B, 0, 0};
  EXPECT_EQ(expected, stream.bytes);
  EXPECT_EQ(30, image.getStreamSize());
}

TEST(GEntity, UserRecordSizeAndRoundTrip) {
  GUser user;
  EXPECT_EQ(48, user.getStreamSize());
  user.id = 5;
  user.type = 1;
  user.enabled = true;
  user.reserved2 = 9;
  user.username = "amy";
  user.email = "amy@example.org";
  user.imageLimit = 42;
  user.folderAdmin = true;
  VectorStream stream;
  user.writeStream(&stream);
  EXPECT_EQ(user.getStreamSize(), (int)stream.bytes.size());
  EXPECT_EQ(0, stream.bytes[0]);
  GUser back;
  back.readStream(&stream);
  EXPECT_STREQ(user.toString().getValue(), back.toString().getValue());
  EXPECT_STREQ("amy@example.org", back.email.getValue());
  EXPECT_EQ(42, back.imageLimit);
  EXPECT_EQ(9u, back.reserved2);
  EXPECT_TRUE(back.folderAdmin);
  EXPECT_TRUE(back.enabled);

  GImage image;
  image.id = 3;
  image.height = -7;
  image.keywords = "red car";
  VectorStream imageStream;
  image.writeStream(&imageStream);
  GImage imageBack;
  imageBack.readStream(&imageStream);
  EXPECT_STREQ(image.toString().getValue(), imageBack.toString().getValue());
  EXPECT_STREQ("red car", imageBack.keywords.getValue());
}

TEST(GEntity, WrongTypeOrShortRecordLeavesTheObjectUnchanged) {
  GUser user;
  user.username = "kept";
  VectorStream wrong;
  wrong.bytes = {11, 0, 0};
  try {
    user.readStream(&wrong);
    FAIL();
  } catch (const MException& e) {
    EXPECT_STREQ("void GUser::readStream(MInputStream *_stream)", e.getLocation().getValue());
    EXPECT_STREQ("Operation failed!", e.getMessage().getValue());
    ASSERT_NE(nullptr, e.getInner());
    EXPECT_STREQ("### TYPE ###", e.getInner()->getLocation().getValue());
    EXPECT_STREQ("Wrong type", e.getInner()->getMessage().getValue());
  }
  EXPECT_STREQ("kept", user.username.getValue());

  GUser other;
  other.username = "whole";
  VectorStream cut;
  other.writeStream(&cut);
  cut.bytes.resize(cut.bytes.size() - 3);
  EXPECT_THROW(user.readStream(&cut), MException);
  EXPECT_STREQ("kept", user.username.getValue());

  GImage image;
  image.name = "kept";
  VectorStream wrongImage;
  wrongImage.bytes = {4, 0, 0, 0, 7};
  EXPECT_THROW(image.readStream(&wrongImage), MException);
  EXPECT_STREQ("kept", image.name.getValue());
}
