#include <gtest/gtest.h>

#include <string>

#include "lib/core/MList.h"
#include "lib/net/MHttpQuery.h"
#include "views/GHtml.h"

namespace {

struct EscapeCase {
  const char* input;
  const char* html;
  const char* script;
  const char* url;
};

}  // namespace

TEST(GHtml, EscapesEachContext) {
  const EscapeCase cases[] = {
      {"Plain42", "Plain42", "Plain42", "Plain42"},
      {"", "", "", ""},
      {"<script>", "&lt;script&gt;", "&lt;script&gt;", "%3Cscript%3E"},
      {"a&b=c", "a&amp;b=c", "a&amp;b=c", "a%26b%3Dc"},
      {"O'Brien", "O&#39;Brien", "O\\&#39;Brien", "O%27Brien"},
      {"say \"hi\"", "say &quot;hi&quot;", "say \\&quot;hi\\&quot;", "say%20%22hi%22"},
      {"back\\slash", "back\\slash", "back\\\\slash", "back%5Cslash"},
      {"line\nbreak", "line\nbreak", "line\\x0Abreak", "line%0Abreak"},
      {"Sea+Sun", "Sea+Sun", "Sea+Sun", "Sea%2BSun"},
      {"x-1_2.3~", "x-1_2.3~", "x-1_2.3~", "x-1_2.3~"},
      {"100%", "100%", "100%", "100%25"},
  };
  for (const EscapeCase& c : cases) {
    EXPECT_STREQ(c.html, GHtml::escape(c.input).getValue()) << c.input;
    EXPECT_STREQ(c.script, GHtml::escapeScript(c.input).getValue()) << c.input;
    EXPECT_STREQ(c.url, GHtml::urlEncode(c.input).getValue()) << c.input;
  }
  EXPECT_STREQ("", GHtml::escape(nullptr).getValue());
  EXPECT_STREQ("%C3%A9", GHtml::urlEncode("\xC3\xA9").getValue());
}

// Whatever a user typed comes back unchanged through the request parser.
TEST(GHtml, UrlEncodedValuesSurviveTheQueryParser) {
  const char* values[] = {"a&b=c", "100% sure", "Sea+Sun", "x?y#z", "'\"<>", "\xC3\xA9t\xC3\xA9"};
  for (const char* value : values) {
    MList params;
    std::string query = std::string("name=") + GHtml::urlEncode(value).getValue() + "&next=1";
    MHttpQuery::parse(query.c_str(), params);
    ASSERT_EQ(2, params.getLength()) << value;
    EXPECT_STREQ(value, params.getObject("name")->toString().getValue());
  }
}
