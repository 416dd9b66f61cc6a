#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "NetTestSupport.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"

namespace {

std::string get(const std::string& _url, const std::string& _headers = "") {
  return "GET " + _url + " HTTP/1.1\r\n" + _headers + "\r\n";
}

std::string post(const std::string& _url, const std::string& _body) {
  return "POST " + _url + " HTTP/1.1\r\nContent-Length: " + std::to_string(_body.size()) +
         "\r\n\r\n" + _body;
}

int countOf(const std::string& _text, const std::string& _part) {
  int n = 0;
  for (size_t p = _text.find(_part); p != std::string::npos; p = _text.find(_part, p + 1)) ++n;
  return n;
}

}  // namespace

TEST(MHttpProcessor, AnswersARequestWithStatusLineHeadersAndBody) {
  TestHandler handler;
  handler.respond = [](MHttpRequest&, MHttpResponse& _response) {
    _response.content.writeData((void*)"hello", 5);
  };
  ProcessorHarness h(&handler);
  std::string out = h.exchange("GET /x?a=1 HTTP/1.1\r\n\r\n");
  EXPECT_EQ("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nhello", out);
  ASSERT_EQ(1u, handler.seen.size());
  EXPECT_EQ("GET", handler.seen[0].method);
  EXPECT_EQ("/x?a=1", handler.seen[0].url);
  EXPECT_EQ("/x", handler.seen[0].path);
  EXPECT_EQ("1", handler.seen[0].params["a"]);
  EXPECT_EQ(MHttpProcessor::STATE_NEW_MESSAGE, h.processor->getState());
  EXPECT_FALSE(h.processor->isCloseRequested());
}

TEST(MHttpProcessor, OneByteAtATimeGivesTheSameResultAsAllAtOnce) {
  std::string input = "\r\nPOST /up?x=%41&y=2 HTTP/1.0\r\nHost: h\r\nX-A: 1: 2\r\n" +
                      std::string("Content-Length: 11\r\n\r\nhello world") +
                      get("/size?n=70000", "Connection: keep-alive\r\n");
  TestHandler wholeHandler;
  ProcessorHarness whole(&wholeHandler);
  std::string expected = whole.exchange(input);

  TestHandler handler;
  ProcessorHarness h(&handler);
  std::string out;
  for (char c : input) {
    h.feed(std::string(1, c));
    h.run();
    out += h.drain();
  }
  for (int i = 0; i < 100; ++i) {
    h.run();
    out += h.drain();
  }
  EXPECT_EQ(expected, out);
  ASSERT_EQ(2u, handler.seen.size());
  EXPECT_EQ("hello world", handler.seen[0].content);
  EXPECT_EQ("A", handler.seen[0].params["x"]);
  EXPECT_EQ("1: 2", handler.seen[0].headers[1].second);
  EXPECT_EQ(2, countOf(out, "200 OK"));
  EXPECT_EQ(70000u, responseBody(out.substr(out.find("HTTP/1.1 200"))).size());
}

TEST(MHttpProcessor, TwoRequestsInOneFeedAreAnsweredInOrder) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  std::string out = h.exchange(get("/size?n=3") + get("/size?n=5"));
  EXPECT_EQ(2, countOf(out, "HTTP/1.1 200 OK\r\n"));
  size_t second = out.find("HTTP/1.1", 1);
  EXPECT_EQ("abc", responseBody(out.substr(0, second)));
  EXPECT_EQ("abcde", responseBody(out.substr(second)));
}

TEST(MHttpProcessor, OnlyGetAndPostAreAnswered) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  std::string out = h.exchange("HEAD / HTTP/1.1\r\nHost: x\r\n\r\n" + std::string("get /lower HTTP/1.1\r\n\r\n") +
                               "PUT /p HTTP/1.1\r\n\r\nOPTIONS * HTTP/1.1\r\n\r\n" + get("/after"));
  ASSERT_EQ(1u, handler.seen.size());
  EXPECT_EQ("/after", handler.seen[0].path);
  EXPECT_EQ(1, countOf(out, "HTTP/1.1 200 OK"));
}

TEST(MHttpProcessor, RequestLineWords) {
  struct Case {
    const char* line;
    const char* method;
    const char* url;
    const char* version;
    const char* path;
    const char* status;
  } cases[] = {
      {"GET /", "GET", "/", "", "/", " 200 OK"},
      {"GET  /two-spaces HTTP/1.1", "GET", "", "/two-spaces", "", "/two-spaces 200 OK"},
      {"GET /a?x=1?z HTTP/1.1", "GET", "/a?x=1?z", "HTTP/1.1", "/a?x=1?z", "HTTP/1.1 200 OK"},
      {"GET /my%20file HTTP/1.1 extra", "GET", "/my%20file", "HTTP/1.1", "/my%20file", "HTTP/1.1 200 OK"},
  };
  for (const Case& c : cases) {
    TestHandler handler;
    ProcessorHarness h(&handler);
    std::string out = h.exchange(std::string(c.line) + "\r\n\r\n");
    ASSERT_EQ(1u, handler.seen.size()) << c.line;
    EXPECT_EQ(c.method, handler.seen[0].method) << c.line;
    EXPECT_EQ(c.url, handler.seen[0].url) << c.line;
    EXPECT_EQ(c.version, handler.seen[0].version) << c.line;
    EXPECT_EQ(c.path, handler.seen[0].path) << c.line;
    EXPECT_TRUE(handler.seen[0].params.empty()) << c.line;
    EXPECT_EQ(c.status, statusLine(out)) << c.line;
  }
}

TEST(MHttpProcessor, HeaderLines) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.exchange(get("/", "Host: a\r\nno colon here\r\nX-Colon:nospace\r\nx-case: v\r\nHost: b\r\nEmpty: \r\n"));
  ASSERT_EQ(1u, handler.seen.size());
  const auto& headers = handler.seen[0].headers;
  ASSERT_EQ(3u, headers.size());
  // A repeated name keeps its first place and takes the last value; names keep their case.
  EXPECT_EQ("Host", headers[0].first);
  EXPECT_EQ("b", headers[0].second);
  EXPECT_EQ("x-case", headers[1].first);
  EXPECT_EQ("Empty", headers[2].first);
  EXPECT_EQ("", headers[2].second);
}

TEST(MHttpProcessor, ContentLengthValues) {
  struct Case {
    const char* header;
    int contentLength;
    const char* content;
  } cases[] = {
      {"Content-Length: 5", 5, "abcde"},
      {"content-length: 5", 5, "abcde"},
      {"CONTENT-LENGTH:  +3xyz", 3, "abc"},
      {"Content-Length: -5", -5, ""},
      {"Content-Length: abc", 0, ""},
  };
  for (const Case& c : cases) {
    TestHandler handler;
    ProcessorHarness h(&handler);
    // The body is followed by a second request that must be recognised as one.
    h.exchange("POST / HTTP/1.1\r\n" + std::string(c.header) + "\r\n\r\n" + c.content + get("/next"));
    ASSERT_LE(1u, handler.seen.size()) << c.header;
    EXPECT_EQ(c.contentLength, handler.seen[0].contentLength) << c.header;
    EXPECT_EQ(c.content, handler.seen[0].content) << c.header;
    if (c.contentLength < 1000) {
      ASSERT_EQ(2u, handler.seen.size()) << c.header;
      EXPECT_EQ("/next", handler.seen[1].path) << c.header;
    }
  }
}

TEST(MHttpProcessor, HugeContentLengthIsReadAsTheLargestNumber) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.exchange("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n" + std::string(1000, 'x'));
  // The body is far beyond what is kept: it is read and dropped, holding no budget.
  EXPECT_EQ(MHttpProcessor::STATE_READ_CONTENT, h.processor->getState());
  EXPECT_EQ(0, h.interface.getInput()->getInputBytes());
  EXPECT_EQ(0, MHttpProcessor::getBodyBudgetInUse());
  EXPECT_TRUE(handler.seen.empty());
}

TEST(MHttpProcessor, ConnectionCloseInAnyLetterCase) {
  struct Case {
    const char* header;
    bool closes;
  } cases[] = {
      {"Connection: Close", true},       {"Connection: close", true},
      {"Connection: CLOSE", true},       {"Connection: keep-alive", false},
      {"connection: Close", false},  // the name is looked up exactly
      {"Connection: Closed", false},     {"", false},
  };
  for (const Case& c : cases) {
    TestHandler handler;
    ProcessorHarness h(&handler);
    std::string headers = *c.header ? std::string(c.header) + "\r\n" : "";
    std::string out = h.exchange(get("/", headers) + get("/second"));
    EXPECT_EQ(c.closes, h.processor->isCloseRequested()) << c.header;
    // After a close request the next request on the connection is not taken up.
    EXPECT_EQ(c.closes ? 1u : 2u, handler.seen.size()) << c.header;
    std::string value = responseHeader(out, "Connection");
    std::string sent = *c.header && strncmp(c.header, "Connection: ", 12) == 0 ? c.header + 12 : "";
    EXPECT_EQ(sent, value) << c.header;
  }
}

TEST(MHttpProcessor, ResponseHeaderOrder) {
  TestHandler handler;
  handler.respond = [](MHttpRequest&, MHttpResponse& _response) {
    _response.headers.setObject("Set-Cookie", "123");
    _response.headers.setObject("Content-Length", "wrong");
    _response.contentType = "image/jpeg";
    _response.statusCode = 404;
    _response.statusText = "Not Found";
    _response.content.writeData((void*)"xy", 2);
  };
  ProcessorHarness h(&handler);
  std::string out = h.exchange(get("/", "Connection: keep-alive\r\n"));
  EXPECT_EQ(
      "HTTP/1.1 404 Not Found\r\nConnection: keep-alive\r\nSet-Cookie: 123\r\n"
      "Content-Length: 2\r\nContent-Type: image/jpeg\r\n\r\nxy",
      out);
}

TEST(MHttpProcessor, NoHandlerAnswersAnEmptyPage) {
  ProcessorHarness h(nullptr);
  EXPECT_EQ("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 0\r\n\r\n",
            h.exchange("GET / HTTP/1.0\r\n\r\n"));
}

TEST(MHttpProcessor, BodiesOfTwentyMillionBytesOrMoreAreDropped) {
  for (int length : {19999999, 20000000}) {
    TestHandler handler;
    ProcessorHarness h(&handler);
    std::string body((size_t)length, 'b');
    body[0] = 'B';
    body[body.size() - 1] = 'E';
    h.exchange("POST /u HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" + body +
               get("/next"));
    ASSERT_EQ(2u, handler.seen.size()) << length;
    EXPECT_EQ(length, handler.seen[0].contentLength);
    if (length < MHttpProcessor::maxStoredBody) {
      EXPECT_TRUE(handler.seen[0].content == body) << "kept body differs";
    } else {
      EXPECT_EQ(0u, handler.seen[0].content.size());
    }
    EXPECT_EQ("/next", handler.seen[1].path);
    EXPECT_EQ(0, MHttpProcessor::getBodyBudgetInUse());
  }
}

TEST(MHttpProcessor, LargeResponseWaitsForRoomInTheOutputBuffer) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.feed(get("/size?n=100000"));
  h.run();
  // The output buffer is full and nobody drains it: the body step waits without progress.
  EXPECT_EQ(MHttpProcessor::STATE_WRITE_CONTENT, h.processor->getState());
  EXPECT_EQ(0, h.interface.getOutput()->getFreeSize());
  EXPECT_TRUE(h.processor->canProcess());
  EXPECT_FALSE(h.processor->process());
  std::string out = h.drain();
  for (int i = 0; i < 10; ++i) {
    h.run();
    out += h.drain();
  }
  std::string body = responseBody(out);
  ASSERT_EQ(100000u, body.size());
  for (size_t i = 0; i < body.size(); i += 997) ASSERT_EQ(patternByte(i), body[i]);
  EXPECT_EQ(MHttpProcessor::STATE_NEW_MESSAGE, h.processor->getState());
}

TEST(MHttpProcessor, HeaderBlockLargerThanTheOutputBufferGetsThrough) {
  TestHandler handler;
  std::string big(60000, 'v');
  handler.respond = [&](MHttpRequest&, MHttpResponse& _response) {
    _response.headers.setObject("X-Big", big.c_str());
  };
  ProcessorHarness h(&handler);
  std::string out = h.exchange(get("/"));
  EXPECT_EQ(big, responseHeader(out, "X-Big"));
  EXPECT_EQ("0", responseHeader(out, "Content-Length"));
}

TEST(MHttpProcessor, LineLengthLimit) {
  // 9999 characters and the line feed are the longest line.
  TestHandler handler;
  ProcessorHarness h(&handler);
  std::string url = "/" + std::string(9999 - 14, 'u');
  std::string line = "GET " + url + " HTTP/1.1";
  ASSERT_EQ(9999u, line.size());
  h.exchange(line + "\n\r\n");
  ASSERT_EQ(1u, handler.seen.size());
  EXPECT_EQ(url, handler.seen[0].url);

  // One more character without a line feed can never become a line: the connection closes
  // rather than waiting for ever.
  TestHandler handler2;
  ProcessorHarness h2(&handler2);
  std::string out = h2.exchange("GET /" + std::string(9999, 'u'));
  EXPECT_TRUE(h2.processor->isCloseRequested());
  EXPECT_EQ("", out);
  EXPECT_TRUE(handler2.seen.empty());

  TestHandler handler3;
  ProcessorHarness h3(&handler3);
  h3.exchange("GET / HTTP/1.1\r\nX-Long: " + std::string(20000, 'h') + "\r\n\r\n");
  EXPECT_TRUE(h3.processor->isCloseRequested());
  EXPECT_TRUE(handler3.seen.empty());
}

TEST(MHttpProcessor, TooManyHeaderLinesCloseTheConnection) {
  std::string headers;
  for (int i = 0; i < MHttpProcessor::maxHeaderLines; ++i) headers += "X-" + std::to_string(i) + ": v\r\n";
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.exchange(get("/", headers));
  EXPECT_EQ(1u, handler.seen.size());
  EXPECT_FALSE(h.processor->isCloseRequested());

  TestHandler handler2;
  ProcessorHarness h2(&handler2);
  h2.exchange(get("/", headers + "X-One-Too-Many: v\r\n"));
  EXPECT_TRUE(handler2.seen.empty());
  EXPECT_TRUE(h2.processor->isCloseRequested());
}

TEST(MHttpProcessor, HandlerFailureKeepsTheRequestForTheNextCall) {
  TestHandler handler;
  int calls = 0;
  handler.respond = [&](MHttpRequest&, MHttpResponse& _response) {
    if (++calls <= 2) throw MException("### TEST ###", "first call fails");
    _response.content.writeData((void*)"second", 6);
  };
  ProcessorHarness h(&handler);
  h.feed(get("/"));
  h.run();
  EXPECT_EQ(MHttpProcessor::STATE_HTTP_REQUEST, h.processor->getState());
  try {
    h.processor->process();
    FAIL() << "the handler's failure should reach the caller";
  } catch (const MException& e) {
    EXPECT_STREQ("bool MHttpProcessor::process()", e.getLocation().getValue());
  }
  h.run();
  EXPECT_EQ("second", responseBody(h.drain()));
  EXPECT_EQ(3u, handler.seen.size());
}

TEST(MHttpProcessor, BodiesShareABudgetAndWaitForRoom) {
  Int64 saved = MHttpProcessor::getBodyBudget();
  MHttpProcessor::setBodyBudget(100);
  {
    TestHandler handler;
    ProcessorHarness a(&handler);
    ProcessorHarness b(&handler);
    a.feed(post("/a", std::string(80, 'a')));
    a.run(5);  // up to the body: the budget is taken
    EXPECT_EQ(MHttpProcessor::STATE_READ_CONTENT, a.processor->getState());
    b.feed(post("/b", std::string(80, 'b')));
    b.run();
    // b's body stays in its input buffer until a's request is done.
    EXPECT_EQ(MHttpProcessor::STATE_READ_CONTENT, b.processor->getState());
    EXPECT_EQ(80, b.interface.getInput()->getInputBytes());
    EXPECT_FALSE(b.processor->isExpired(MHttpProcessor::clockMillis() + 3600000));
    EXPECT_EQ(80, MHttpProcessor::getBodyBudgetInUse());
    a.run();
    b.run();
    ASSERT_EQ(2u, handler.seen.size());
    EXPECT_EQ(std::string(80, 'b'), handler.seen[1].content);
    EXPECT_EQ(0, MHttpProcessor::getBodyBudgetInUse());

    // A processor that goes away with its body half read gives its share back.
    {
      ProcessorHarness c(&handler);
      c.feed("POST / HTTP/1.1\r\nContent-Length: 90\r\n\r\nabc");
      c.run();
      EXPECT_EQ(90, MHttpProcessor::getBodyBudgetInUse());
    }
    EXPECT_EQ(0, MHttpProcessor::getBodyBudgetInUse());
  }
  MHttpProcessor::setBodyBudget(saved);
}

TEST(MHttpProcessor, TimeOuts) {
  TestHandler handler;
  UInt64 t0 = MHttpProcessor::clockMillis();
  const UInt64 s = 1000;

  ProcessorHarness idle(&handler);
  EXPECT_FALSE(idle.processor->isExpired(t0 + 70 * s));
  EXPECT_TRUE(idle.processor->isExpired(t0 + 76 * s));

  // A request line that is still not complete after a minute.
  ProcessorHarness header(&handler);
  header.feed("GET / HTTP/1.1\r\nHost: x");
  header.run();
  EXPECT_EQ(MHttpProcessor::STATE_READ_HEADERS, header.processor->getState());
  EXPECT_FALSE(header.processor->isExpired(t0 + 50 * s));
  EXPECT_TRUE(header.processor->isExpired(t0 + 61 * s));

  // While an earlier answer waits for the client to take it, the next request's clock is
  // not the client's fault.
  ProcessorHarness pipelined(&handler);
  pipelined.feed(get("/size?n=39000") + "GET / HTTP/1.1\r\nHost: x");
  pipelined.run();
  EXPECT_EQ(MHttpProcessor::STATE_READ_HEADERS, pipelined.processor->getState());
  EXPECT_FALSE(pipelined.processor->isExpired(t0 + 61 * s));
  pipelined.drain();
  EXPECT_TRUE(pipelined.processor->isExpired(t0 + 61 * s));

  // A body that pauses for a minute, and one that trickles.
  ProcessorHarness body(&handler);
  body.feed("POST / HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n" + std::string(30000, 'x'));
  body.run();
  EXPECT_EQ(MHttpProcessor::STATE_READ_CONTENT, body.processor->getState());
  body.interface.setLastReceive(t0 + 50 * s);
  EXPECT_FALSE(body.processor->isExpired(t0 + 100 * s));
  EXPECT_TRUE(body.processor->isExpired(t0 + 111 * s));
  // 30000 bytes earn one minute on top of the first: past two minutes the rate is too low.
  body.interface.setLastReceive(t0 + 125 * s);
  EXPECT_FALSE(body.processor->isExpired(t0 + 119 * s));
  EXPECT_TRUE(body.processor->isExpired(t0 + 126 * s));

  // Answering is not the client's delay.
  ProcessorHarness answering(&handler);
  answering.feed(get("/size?n=100000"));
  answering.run();
  EXPECT_EQ(MHttpProcessor::STATE_WRITE_CONTENT, answering.processor->getState());
  EXPECT_FALSE(answering.processor->isExpired(t0 + 1000 * s));
}

TEST(MHttpProcessor, NewObjectCarriesTheHandler) {
  TestHandler handler;
  MHttpProcessor prototype;
  prototype.setHandler(&handler);
  MHttpProcessor* copy = (MHttpProcessor*)prototype.newObject();
  EXPECT_EQ(&handler, copy->getHandler());
  EXPECT_EQ(nullptr, copy->getInterface());
  EXPECT_EQ(MHttpProcessor::STATE_NEW_MESSAGE, copy->getState());
  EXPECT_FALSE(copy->canProcess());
  EXPECT_FALSE(copy->process());
  delete copy;
  EXPECT_STREQ("newMessage", MHttpProcessor::getStateName(0));
  EXPECT_STREQ("endMessage", MHttpProcessor::getStateName(8));
  EXPECT_STREQ("", MHttpProcessor::getStateName(9));
}

TEST(MHttpProcessor, TransferEncodingIsRefusedAndItsBodyNeverTakenForARequest) {
  // With or without Content-Length, in any letter case, with or without the blank after the
  // colon: the chunked body hides a second request that must not be answered.
  const char* headers[] = {"Transfer-Encoding: chunked\r\n",
                           "Content-Length: 4\r\ntransfer-encoding: chunked\r\n",
                           "TRANSFER-ENCODING:chunked\r\n"};
  for (const char* header : headers) {
    SCOPED_TRACE(header);
    TestHandler handler;
    ProcessorHarness h(&handler);
    std::string out = h.exchange("POST /up HTTP/1.1\r\n" + std::string(header) +
                                 "\r\n1a\r\nGET /hidden HTTP/1.1\r\n\r\n\r\n0\r\n\r\n");
    EXPECT_EQ(0u, handler.seen.size());
    EXPECT_EQ(1, countOf(out, "HTTP/1.1 "));
    EXPECT_EQ(0u, out.find("HTTP/1.1 501 Not Implemented\r\n"));
    EXPECT_NE(std::string::npos, out.find("Connection: Close\r\n"));
    EXPECT_TRUE(h.processor->isCloseRequested());
  }
}
