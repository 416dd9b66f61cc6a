#include <gtest/gtest.h>

#include <string>

#include "tests/views/ViewTestSupport.h"
#include "views/GMessage.h"

namespace {

class GMessageTest : public viewtest::ViewTest {
 protected:
  std::string write(const char* _value) {
    MList params;
    if (_value != nullptr) params.setObject(GMessage::PARAM, _value);
    viewtest::Page page;
    GMessage::write(session, page.out, params);
    return page.text();
  }
};

std::string line(const std::string& _kind, const std::string& _text) {
  return "<DIV class=\"message message_" + _kind + "\" role=\"status\">" + _text + "</DIV>\n";
}

}  // namespace

TEST_F(GMessageTest, EachOutcomeHasItsTextAndKind) {
  struct Case {
    int code;
    std::string expected;
  };
  const Case cases[] = {
      {GMessage::SAVED, line("done", "MESSAGE_SAVED")},
      {GMessage::DELETED, line("done", "MESSAGE_DELETED")},
      {GMessage::PUBLISHED, line("done", "MESSAGE_PUBLISHED")},
      {GMessage::PUBLISHED_WAITING, line("note", "MESSAGE_PUBLISHED_WAITING")},
      {GMessage::UNPUBLISHED, line("done", "MESSAGE_UNPUBLISHED")},
      {GMessage::ACCEPTED, line("done", "MESSAGE_ACCEPTED")},
      {GMessage::DENIED, line("done", "MESSAGE_DENIED")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, write(std::to_string(c.code).c_str())) << c.code;
  }
}

TEST_F(GMessageTest, NoCodeOrAnUnknownOneWritesNothing) {
  // A link can name only codes, never a text of its own.
  for (const char* value : {(const char*)nullptr, "", "0", "99", "-1", "abc", "<b>"}) {
    EXPECT_EQ("", write(value)) << (value ? value : "(none)");
  }
}

TEST_F(GMessageTest, SetNamesTheCodeForThePageThatFollows) {
  MList params;
  GMessage::set(params, GMessage::DENIED);
  GMessage::set(params, GMessage::SAVED);
  viewtest::Page page;
  GMessage::write(session, page.out, params);
  EXPECT_EQ(line("done", "MESSAGE_SAVED"), page.text());
}
