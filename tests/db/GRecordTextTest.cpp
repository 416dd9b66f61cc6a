#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "db/GFolder.h"
#include "db/GFolderRecord.h"
#include "db/GImage.h"
#include "db/GImageRecord.h"
#include "db/GUser.h"
#include "db/GUserRecord.h"

namespace {

// One text field of a record: sets the text on an entity, encodes the record, decodes it
// and returns what the field kept.
struct Field {
  const char* name;
  size_t size;  // the most bytes it keeps
  std::function<std::string(const std::string&)> roundTrip;
};

std::string imageField(MString GImage::*_field, const std::string& _text) {
  GImage image;
  image.*_field = _text.c_str();
  uchar record[GImageRecord::SIZE];
  GImageRecord::encode(image, 0, record);
  GImage back;
  GImageRecord::decode(record, back);
  return (back.*_field).getValue();
}

std::string userField(MString GUser::*_field, const std::string& _text) {
  GUser user;
  user.*_field = _text.c_str();
  uchar record[GUserRecord::SIZE];
  GUserRecord::encode(user, record);
  GUser back;
  GUserRecord::decode(record, back);
  return (back.*_field).getValue();
}

std::string folderName(const std::string& _text) {
  GFolder folder;
  folder.name = _text.c_str();
  uchar record[GFolderRecord::SIZE];
  GFolderRecord::encode(folder, record);
  GFolder back;
  GFolderRecord::decode(record, back);
  return back.name.getValue();
}

}  // namespace

// Every text field keeps the whole letters that fit: a two-, three- or four-byte letter that
// would cross the end of the field is left out whole, never half stored.
TEST(GRecordText, FieldsKeepWholeLetters) {
  const Field fields[] = {
      {"image name", 39, [](const std::string& t) { return imageField(&GImage::name, t); }},
      {"image keywords", 199, [](const std::string& t) { return imageField(&GImage::keywords, t); }},
      {"image description", 199,
       [](const std::string& t) { return imageField(&GImage::description, t); }},
      {"image date", 10, [](const std::string& t) { return imageField(&GImage::date, t); }},
      {"user name", 39, [](const std::string& t) { return userField(&GUser::username, t); }},
      {"first name", 29, [](const std::string& t) { return userField(&GUser::firstname, t); }},
      {"last name", 29, [](const std::string& t) { return userField(&GUser::lastname, t); }},
      {"e-mail address", 39, [](const std::string& t) { return userField(&GUser::email, t); }},
      {"folder name", 99, folderName},
  };
  struct Case {
    const char* what;
    size_t ascii;        // ASCII bytes before the tail
    std::string tail;
    size_t keptOfTail;   // bytes of the tail the field keeps
  };
  for (const Field& f : fields) {
    const Case cases[] = {
        {"fits exactly", f.size - 2, "ü", 2},
        {"two-byte letter across the end", f.size - 1, "ü", 0},
        {"three-byte letter across the end", f.size - 2, "€", 0},
        {"four-byte letter across the end", f.size - 3, "🎉", 0},
        {"letters after the end", f.size - 4, "ΩΩΩ", 4},
        {"Latin-1 bytes cut by bytes", f.size - 1, "\xE9\xE9", 1},
    };
    for (const Case& c : cases) {
      std::string text = std::string(c.ascii, 'a') + c.tail;
      EXPECT_EQ(text.substr(0, c.ascii + c.keptOfTail), f.roundTrip(text))
          << f.name << ": " << c.what;
    }
  }
}
