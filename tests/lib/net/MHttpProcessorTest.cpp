#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "NetTestSupport.h"
#include "tests/support/TestRoot.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MBodyPlaces.h"
#include "lib/net/MBodySpool.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/platform/MClock.h"

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

// Feeds the input one byte at a time, running and draining after each; the output must be
// what one feed of everything gives.
void expectSameByteByByte(const std::string& _input, std::string* _out = nullptr) {
  TestHandler wholeHandler;
  ProcessorHarness whole(&wholeHandler);
  std::string expected = whole.exchange(_input);

  TestHandler handler;
  ProcessorHarness h(&handler);
  std::string out;
  for (char c : _input) {
    h.feed(std::string(1, c));
    h.run();
    out += h.drain();
  }
  for (int i = 0; i < 100; ++i) {
    h.run();
    out += h.drain();
  }
  EXPECT_EQ(expected, out);
  EXPECT_EQ(whole.processor->isCloseRequested(), h.processor->isCloseRequested());
  EXPECT_EQ(wholeHandler.seen.size(), handler.seen.size());
  if (_out != nullptr) *_out = out;
}

TEST(MHttpProcessor, OneByteAtATimeGivesTheSameResultAsAllAtOnce) {
  std::string input = "\r\nPOST /up?x=%41&y=2 HTTP/1.0\r\nHost: h\r\nX-A: 1: 2\r\n" +
                      std::string("Content-Length: 11\r\n\r\nhello world") +
                      get("/size?n=70000", "Connection: keep-alive\r\n");
  std::string out;
  expectSameByteByByte(input, &out);
  EXPECT_EQ(2, countOf(out, "200 OK"));
  EXPECT_EQ(70000u, responseBody(out.substr(out.find("HTTP/1.1 200"))).size());

  // HEAD, a body in a file, and each kind of refusal at the end of a connection.
  std::string big(70000, 'f');
  const std::string ends[] = {
      "DELETE / HTTP/1.1\r\n\r\n",
      "GET / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n",
      "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
      "GET /" + std::string(10000, 'u') + " HTTP/1.1\r\n\r\n",
  };
  for (const std::string& end : ends) {
    SCOPED_TRACE(end.substr(0, 40));
    expectSameByteByByte("HEAD /size?n=5 HTTP/1.1\r\n\r\n" + post("/big", big) + end + get("/never"));
  }
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

TEST(MHttpProcessor, EveryMethodIsAnswered) {
  struct Case {
    const char* line;
    const char* status;
    bool handled;
  } cases[] = {
      {"GET / HTTP/1.1", "HTTP/1.1 200 OK", true},
      {"POST / HTTP/1.1", "HTTP/1.1 200 OK", true},
      {"HEAD / HTTP/1.1", "HTTP/1.1 200 OK", true},
      {"PUT /p HTTP/1.1", "HTTP/1.1 405 Method Not Allowed", false},
      {"OPTIONS * HTTP/1.1", "HTTP/1.1 405 Method Not Allowed", false},
      {"get /lower HTTP/1.1", "HTTP/1.1 405 Method Not Allowed", false},
      {"PRI * HTTP/2.0", "HTTP/1.1 405 Method Not Allowed", false},
      {"garbage", "HTTP/1.1 400 Bad Request", false},
      {"\x01\x02 / HTTP/1.1", "HTTP/1.1 400 Bad Request", false},
      {" GET / HTTP/1.1", "HTTP/1.1 400 Bad Request", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TestHandler handler;
    ProcessorHarness h(&handler);
    // What follows a refused request line is never taken for a request.
    std::string out = h.exchange(std::string(c.line) + "\r\n\r\n" + get("/smuggled"));
    EXPECT_EQ(c.status, statusLine(out));
    EXPECT_EQ(c.handled ? 2u : 0u, handler.seen.size());
    EXPECT_EQ(!c.handled, h.processor->isCloseRequested());
    EXPECT_EQ(c.handled ? "" : "Close", responseHeader(out, "Connection"));
    bool notAllowed = strstr(c.status, "405") != nullptr;
    EXPECT_EQ(notAllowed ? "GET, POST, HEAD" : "", responseHeader(out, "Allow"));
  }
}

TEST(MHttpProcessor, HeadGetsTheHeadersOfGetWithoutTheBody) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  std::string out = h.exchange("HEAD /size?n=50000 HTTP/1.1\r\n\r\n" + get("/size?n=3"));
  std::string first = out.substr(0, out.find("HTTP/1.1", 1));
  EXPECT_EQ("HTTP/1.1 200 OK", statusLine(first));
  EXPECT_EQ("50000", responseHeader(first, "Content-Length"));
  EXPECT_EQ("", responseBody(first));
  EXPECT_EQ("abc", responseBody(out.substr(first.size())));
  ASSERT_EQ(2u, handler.seen.size());
  EXPECT_EQ("HEAD", handler.seen[0].method);
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
  h.exchange(get("/", "Host: a\r\nX-Colon:nospace\r\nx-case: v\r\nHost: b\r\nEmpty: \r\n"
                      "X-Blanks: \t two words \t\r\n"));
  ASSERT_EQ(1u, handler.seen.size());
  const auto& headers = handler.seen[0].headers;
  ASSERT_EQ(5u, headers.size());
  // A repeated name keeps its first place and takes the last value; names keep their case;
  // blanks around the value are not part of it.
  EXPECT_EQ("Host", headers[0].first);
  EXPECT_EQ("b", headers[0].second);
  EXPECT_EQ("X-Colon", headers[1].first);
  EXPECT_EQ("nospace", headers[1].second);
  EXPECT_EQ("x-case", headers[2].first);
  EXPECT_EQ("Empty", headers[3].first);
  EXPECT_EQ("", headers[3].second);
  EXPECT_EQ("two words", headers[4].second);
}

TEST(MHttpProcessor, FramingIsStrict) {
  struct Case {
    const char* headers;
    int status;
    int contentLength;
  } cases[] = {
      {"Content-Length: 5", 200, 5},
      {"content-length:5", 200, 5},
      {"CONTENT-LENGTH: \t5 ", 200, 5},
      {"Content-Length: 5\r\nContent-Length: 5", 200, 5},
      {"Content-Length: 0005", 200, 5},
      {"Content-Length: +5", 400, 0},
      {"Content-Length: -5", 400, 0},
      {"Content-Length: 0abc", 400, 0},
      {"Content-Length: abc", 400, 0},
      {"Content-Length: ", 400, 0},
      {"Content-Length: 5 5", 400, 0},
      {"Content-Length: 5, 5", 400, 0},
      {"Content-Length: 5\r\ncontent-length: 0", 400, 0},
      {"Content-Length : 5", 400, 0},
      {"Content-Length\t: 5", 400, 0},
      {"Host: x\r\n Content-Length: 5", 400, 0},
      {"no colon here", 400, 0},
      {": no name", 400, 0},
      {"Transfer-Encoding : chunked", 400, 0},
      {"Transfer-Encoding: chunked", 501, 0},
      {"transfer-encoding:identity", 501, 0},
      {"TRANSFER-ENCODING: gzip, chunked", 501, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headers);
    TestHandler handler;
    ProcessorHarness h(&handler);
    // The body hides a request: it is answered only when the framing was read as announced.
    std::string out = h.exchange("POST / HTTP/1.1\r\n" + std::string(c.headers) + "\r\n\r\n" +
                                 "abcde" + get("/next"));
    EXPECT_EQ(c.status, atoi(statusLine(out).substr(9).c_str()));
    if (c.status == 200) {
      ASSERT_EQ(2u, handler.seen.size());
      EXPECT_EQ(c.contentLength, handler.seen[0].contentLength);
      EXPECT_EQ("abcde", handler.seen[0].content);
      EXPECT_EQ("/next", handler.seen[1].path);
      EXPECT_FALSE(h.processor->isCloseRequested());
    } else {
      EXPECT_EQ(0u, handler.seen.size());
      EXPECT_EQ(1, countOf(out, "HTTP/1.1 "));
      EXPECT_EQ("Close", responseHeader(out, "Connection"));
      EXPECT_EQ("0", responseHeader(out, "Content-Length"));
      EXPECT_TRUE(h.processor->isCloseRequested());
    }
  }
}

TEST(MHttpProcessor, HugeContentLengthIsReadAsTheLargestNumber) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.exchange("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n" + std::string(1000, 'x'));
  // The body is far beyond what is kept: it is read and dropped.
  EXPECT_EQ(MHttpProcessor::STATE_READ_CONTENT, h.processor->getState());
  EXPECT_EQ(0, h.interface.getInput()->getInputBytes());
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
    EXPECT_EQ(length < MHttpProcessor::maxStoredBody, handler.seen[0].inFile);
    EXPECT_EQ("/next", handler.seen[1].path);
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

  // One more character without a line feed can never become a line: the answer says so
  // and the connection closes rather than waiting for ever.
  struct Case {
    std::string input;
    const char* status;
  } cases[] = {
      {"GET /" + std::string(9999, 'u'), "HTTP/1.1 414 URI Too Long"},
      {"GET / HTTP/1.1\r\nX-Long: " + std::string(20000, 'h') + "\r\n\r\n",
       "HTTP/1.1 431 Request Header Fields Too Large"},
  };
  for (const Case& c : cases) {
    TestHandler handler2;
    ProcessorHarness h2(&handler2);
    std::string out = h2.exchange(c.input);
    EXPECT_EQ(c.status, statusLine(out));
    EXPECT_TRUE(h2.processor->isCloseRequested());
    EXPECT_TRUE(handler2.seen.empty());
  }
}

TEST(MHttpProcessor, TooManyHeaderLinesAreRefused) {
  std::string headers;
  for (int i = 0; i < MHttpProcessor::maxHeaderLines; ++i) headers += "X-" + std::to_string(i) + ": v\r\n";
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.exchange(get("/", headers));
  EXPECT_EQ(1u, handler.seen.size());
  EXPECT_FALSE(h.processor->isCloseRequested());

  TestHandler handler2;
  ProcessorHarness h2(&handler2);
  std::string out = h2.exchange(get("/", headers + "X-One-Too-Many: v\r\n"));
  EXPECT_EQ("HTTP/1.1 431 Request Header Fields Too Large", statusLine(out));
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

TEST(MHttpProcessor, LargeBodiesLieInAFileThatGoesWithTheRequest) {
  testroot::TempDir temporary;
  const std::string& directory = temporary.path;
  for (int length : {MHttpProcessor::maxMemoryBody, MHttpProcessor::maxMemoryBody + 1, 3000000}) {
    SCOPED_TRACE(length);
    TestHandler handler;
    ProcessorHarness h(&handler);
    h.processor->setBodyDirectory(directory.c_str());
    std::string body((size_t)length, 'b');
    body[0] = 'B';
    body[body.size() - 1] = 'E';
    int filesBefore = openFileCount();
    h.feed("POST /u HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" +
           body.substr(0, 1000));
    h.run();
    bool large = length > MHttpProcessor::maxMemoryBody;
    // The file has no name while the body arrives, and is open only while the request lasts.
    EXPECT_EQ(large ? filesBefore + 1 : filesBefore, openFileCount());
    EXPECT_EQ(0u, directoryEntries(directory).size());
    h.exchange(body.substr(1000) + get("/next"));
    ASSERT_EQ(2u, handler.seen.size());
    EXPECT_EQ(large, handler.seen[0].inFile);
    EXPECT_TRUE(handler.seen[0].content == body) << "the body differs";
    EXPECT_EQ(filesBefore, openFileCount());
  }
  // A body file left by a process that died is removed by the sweep, and only such files.
  std::ofstream(directory + "/" + MHttpProcessor::bodyFilePrefix + "a1b2c3") << "x";
  std::ofstream(directory + "/other") << "x";
  EXPECT_EQ(1, MHttpProcessor::removeBodyFiles(directory.c_str()));
  EXPECT_EQ(std::vector<std::string>{"other"}, directoryEntries(directory));
}

TEST(MHttpProcessor, ALargeBodyWithoutAPlaceForItsFileIsReadAndDroppedAndSaysWhy) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.processor->setBodyDirectory("/nonexistent-directory");
  std::string out = h.exchange(post("/u", std::string(100000, 'x')) + get("/next"));
  // The handler hears of it, so that it can tell the user; the connection goes on.
  ASSERT_EQ(2u, handler.seen.size());
  EXPECT_EQ(ENOENT, handler.seen[0].bodyError);
  EXPECT_EQ("", handler.seen[0].content);
  EXPECT_FALSE(handler.seen[0].inFile);
  EXPECT_EQ("/next", handler.seen[1].path);
  EXPECT_EQ(0, handler.seen[1].bodyError);
  EXPECT_EQ(0, h.processor->getBodySpool().getBodies());
  EXPECT_FALSE(h.processor->isCloseRequested());
  // A small one still needs no file.
  TestHandler handler2;
  ProcessorHarness h2(&handler2);
  h2.processor->setBodyDirectory("/nonexistent-directory");
  EXPECT_EQ("HTTP/1.1 200 OK", statusLine(h2.exchange(post("/u", std::string(1000, 'x')))));
  EXPECT_EQ(0, handler2.seen[0].bodyError);
}

TEST(MHttpProcessor, FormBodiesAddToTheParameters) {
  struct Case {
    const char* type;
    const char* method;
    bool read;
  } cases[] = {
      {"application/x-www-form-urlencoded", "POST", true},
      {"Application/X-WWW-Form-Urlencoded; charset=UTF-8", "POST", true},
      {"application/x-www-form-urlencodedx", "POST", false},
      {"multipart/form-data; boundary=x", "POST", false},
      {"application/x-www-form-urlencoded", "GET", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.type);
    TestHandler handler;
    ProcessorHarness h(&handler);
    // Split before decoding, as a query string: "%26" and "%3D" stay inside their value.
    // A form body writes a blank as "+" and a "+" as "%2B".
    std::string body = "username=a%26b%3Dc&password=p%25w+d%2B&page=2";
    h.exchange(std::string(c.method) + " /?page=1&session=s HTTP/1.1\r\nContent-Type: " + c.type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    ASSERT_EQ(1u, handler.seen.size());
    auto& params = handler.seen[0].params;
    EXPECT_EQ("s", params["session"]);
    EXPECT_EQ(c.read ? "a&b=c" : "", params["username"]);
    EXPECT_EQ(c.read ? "p%w d+" : "", params["password"]);
    // The body's value comes after the query's and wins.
    EXPECT_EQ(c.read ? "2" : "1", params["page"]);
  }
}

// A processor on a clock the test moves.
struct ClockedHarness {
  explicit ClockedHarness(TestHandler* _handler, MHttpProcessor* _prototype = nullptr)
      : h(_handler, _prototype) {
    h.processor->setClock([this] { return clock; });
  }
  void at(UInt64 _millis) { clock = _millis; }
  UInt64 clock = 1000000;
  ProcessorHarness h;
};

TEST(MHttpProcessor, TimeOuts) {
  TestHandler handler;
  const UInt64 t0 = 1000000;
  const UInt64 s = 1000;

  ClockedHarness idle(&handler);
  EXPECT_FALSE(idle.h.processor->isExpired(t0 + 70 * s));
  EXPECT_TRUE(idle.h.processor->isExpired(t0 + 76 * s));

  // A request line that is still not complete after a minute.
  ClockedHarness header(&handler);
  header.h.feed("GET / HTTP/1.1\r\nHost: x");
  header.h.run();
  EXPECT_EQ(MHttpProcessor::STATE_READ_HEADERS, header.h.processor->getState());
  EXPECT_FALSE(header.h.processor->isExpired(t0 + 50 * s));
  EXPECT_TRUE(header.h.processor->isExpired(t0 + 61 * s));

  // While an earlier answer waits for the client to take it, the next request's clock is
  // not the client's fault.
  ClockedHarness pipelined(&handler);
  pipelined.h.feed(get("/size?n=39000") + "GET / HTTP/1.1\r\nHost: x");
  pipelined.h.run();
  EXPECT_EQ(MHttpProcessor::STATE_READ_HEADERS, pipelined.h.processor->getState());
  EXPECT_FALSE(pipelined.h.processor->isExpired(t0 + 61 * s));
  pipelined.h.drain();
  EXPECT_TRUE(pipelined.h.processor->isExpired(t0 + 61 * s));

  // A body that pauses for a minute.
  ClockedHarness body(&handler);
  body.h.feed("POST / HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n" + std::string(30000, 'x'));
  body.h.run();
  EXPECT_EQ(MHttpProcessor::STATE_READ_CONTENT, body.h.processor->getState());
  body.h.interface.setLastReceive(t0 + 5 * s);
  EXPECT_FALSE(body.h.processor->isExpired(t0 + 64 * s));
  EXPECT_TRUE(body.h.processor->isExpired(t0 + 66 * s));

  // Answering is not the client's delay.
  ClockedHarness answering(&handler);
  answering.h.feed(get("/size?n=100000"));
  answering.h.run();
  EXPECT_EQ(MHttpProcessor::STATE_WRITE_CONTENT, answering.h.processor->getState());
  EXPECT_FALSE(answering.h.processor->isExpired(t0 + 1000 * s));
}

TEST(MHttpProcessor, AWholeBodyMustArriveWithinItsDeadlineHoweverItsBytesCome) {
  // 60 s and the length at 100 KB/s, counted from the end of the head; bytes that keep
  // coming do not move it.
  struct Case {
    int length;
    UInt64 deadline;  // seconds
  } cases[] = {{1000, 60}, {65536, 60}, {1000000, 70}, {19999999, 259}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    TestHandler handler;
    ClockedHarness body(&handler);
    const UInt64 t0 = body.clock;
    body.h.feed("POST / HTTP/1.1\r\nContent-Length: " + std::to_string(c.length) + "\r\n\r\nx");
    body.h.run();
    ASSERT_EQ(MHttpProcessor::STATE_READ_CONTENT, body.h.processor->getState());
    UInt64 end = t0 + c.deadline * 1000;
    body.h.interface.setLastReceive(end - 500);
    EXPECT_FALSE(body.h.processor->isExpired(end));
    body.h.interface.setLastReceive(end + 1000);
    EXPECT_TRUE(body.h.processor->isExpired(end + 1001));
  }
}

TEST(MHttpProcessor, ABodyBehindItsPaceCanGiveWayAndEarlyBytesEarnNoLastingCredit) {
  TestHandler handler;
  const UInt64 s = 1000;
  UInt64 since = 0;

  // 100 KB at once, then a byte every 20 s: behind after the slack of 10 s, and each later
  // byte leaves it behind.
  ClockedHarness trickle(&handler);
  const UInt64 t0 = trickle.clock;
  trickle.h.feed("POST / HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n");
  trickle.h.run();
  for (int i = 0; i < 3; ++i) {
    trickle.h.feed(std::string(34000, 'x'));
    trickle.h.run();
  }
  trickle.at(t0 + 9 * s);
  EXPECT_FALSE(trickle.h.processor->canGiveWay(since));
  trickle.at(t0 + 11 * s);
  ASSERT_TRUE(trickle.h.processor->canGiveWay(since));
  EXPECT_EQ(t0 + 10 * s, since);
  for (UInt64 t = 20; t <= 100; t += 20) {
    trickle.at(t0 + t * s);
    trickle.h.feed("x");
    trickle.h.run();
    EXPECT_TRUE(trickle.h.processor->canGiveWay(since)) << t;
  }

  // A body that arrives at 200 KB/s keeps its pace all along.
  ClockedHarness steady(&handler);
  steady.h.feed("POST / HTTP/1.1\r\nContent-Length: 10000000\r\n\r\n");
  steady.h.run();
  for (int tenth = 1; tenth <= 300; ++tenth) {
    steady.at(t0 + tenth * 100);
    steady.h.feed(std::string(20000, 'x'));
    steady.h.run();
    ASSERT_FALSE(steady.h.processor->canGiveWay(since)) << tenth;
  }
  // Then it stops: behind once its slack is used up.
  steady.at(t0 + 30 * s + 10 * s - 1);
  EXPECT_FALSE(steady.h.processor->canGiveWay(since));
  steady.at(t0 + 30 * s + 10 * s + 1);
  EXPECT_TRUE(steady.h.processor->canGiveWay(since));
}

TEST(MHttpProcessor, ABodyIsAdmittedBeforeAnyOfItIsRead) {
  struct Case {
    int status;
    int retryAfter;
    const char* statusLine;
    const char* retryHeader;
  } cases[] = {
      {0, 0, "HTTP/1.1 200 OK", ""},
      {413, 0, "HTTP/1.1 413 Payload Too Large", ""},
      {503, 7, "HTTP/1.1 503 Service Unavailable", "7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    TestHandler handler;
    std::vector<std::string> asked;
    handler.admit = [&](MHttpRequest& _request) {
      asked.push_back(std::string(_request.method.getValue()) + " " + _request.path.getValue() +
                      " " + _request.getHeader("X-Who").getValue() + " " +
                      std::to_string(_request.contentLength) + " " +
                      std::to_string(_request.getContentSize()));
      MHttpHandler::BodyDecision decision;
      decision.status = c.status;
      decision.retryAfter = c.retryAfter;
      return decision;
    };
    ProcessorHarness h(&handler);
    // A request without a body is not asked about; the body would be a request of its own
    // if it were not read as a body.
    std::string out = h.exchange(get("/first") + "POST /up?a=1 HTTP/1.1\r\nX-Who: me\r\n"
                                 "Content-Length: 60000\r\n\r\n" + get("/hidden") +
                                 std::string(60000 - get("/hidden").size(), 'x'));
    EXPECT_EQ(std::vector<std::string>{"POST /up me 60000 0"}, asked);
    std::string second = out.substr(out.find("HTTP/1.1", 1));
    EXPECT_EQ(c.statusLine, statusLine(second));
    EXPECT_EQ(c.retryHeader, responseHeader(second, "Retry-After"));
    EXPECT_EQ(c.status == 0 ? 2u : 1u, handler.seen.size());
    EXPECT_EQ(c.status != 0, h.processor->isCloseRequested());
    EXPECT_EQ(0, h.processor->getBodySpool().getBodies());
    EXPECT_EQ(0, h.processor->getBodyPlaces().getCount());
  }
}

TEST(MHttpProcessor, BodiesHoldALimitedNumberOfPlacesAndTheOneFurthestBehindGivesWay) {
  TestHandler handler;
  handler.admit = [](MHttpRequest& _request) {
    MHttpHandler::BodyDecision decision;
    decision.client = _request.getHeader("X-Client");
    return decision;
  };
  MHttpProcessor prototype;
  prototype.setBodyPlaces(std::make_shared<MBodyPlaces>(3, 2));
  UInt64 clock = 1000000;
  const UInt64 t0 = clock;
  prototype.setClock([&] { return clock; });
  auto head = [](const char* _client) {
    return "POST / HTTP/1.1\r\nX-Client: " + std::string(_client) +
           "\r\nContent-Length: 10000000\r\n\r\n";
  };
  std::vector<std::unique_ptr<ProcessorHarness>> bodies;
  auto start = [&](const char* _client) {
    bodies.emplace_back(new ProcessorHarness(&handler, &prototype));
    ProcessorHarness& h = *bodies.back();
    h.feed(head(_client) + "x");
    h.run();
    return h.drain();
  };
  // Two of client a, and a third of a gets none, even while places are free.
  EXPECT_EQ("", start("a"));
  clock += 1000;
  EXPECT_EQ("", start("a"));
  std::string refused = start("a");
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable", statusLine(refused));
  EXPECT_EQ("10", responseHeader(refused, "Retry-After"));
  EXPECT_EQ("", start("b"));
  EXPECT_EQ(3, prototype.getBodyPlaces().getCount());
  // All taken, none behind: refused.
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable", statusLine(start("c")));

  // Later the bodies of a have fallen behind, b keeps sending: the first of a goes.
  for (UInt64 t = 1; t <= 12; ++t) {
    clock = t0 + t * 1000;
    bodies[3]->exchange(std::string(100000, 'y'));
  }
  EXPECT_EQ("", start("c"));
  std::string lost = bodies[0]->drain();
  bodies[0]->run();
  lost += bodies[0]->drain();
  EXPECT_EQ("HTTP/1.1 408 Request Timeout", statusLine(lost));
  EXPECT_EQ("Close", responseHeader(lost, "Connection"));
  EXPECT_TRUE(bodies[0]->processor->isCloseRequested());
  EXPECT_EQ("", bodies[1]->drain());
  EXPECT_EQ(MHttpProcessor::STATE_READ_CONTENT, bodies[3]->processor->getState());
  EXPECT_EQ(3, prototype.getBodyPlaces().getCount());
  EXPECT_EQ(1, prototype.getBodyPlaces().getCount("a"));

  // A body that is complete, and a connection that goes, give their places back.
  bodies[3]->exchange(std::string(10000000 - 1 - 1200000, 'y'));
  EXPECT_EQ(1u, handler.seen.size());
  EXPECT_EQ(2, prototype.getBodyPlaces().getCount());
  bodies[1].reset();
  EXPECT_EQ(1, prototype.getBodyPlaces().getCount());
  EXPECT_EQ(0, prototype.getBodyPlaces().getCount("a"));
  EXPECT_TRUE(handler.seen.size() == 1);
}

TEST(MHttpProcessor, ABodyForAFileNeedsRoomInTheSpool) {
  testroot::TempDir directory;
  TestHandler handler;
  handler.admit = [](MHttpRequest& _request) {
    MHttpHandler::BodyDecision decision;
    decision.client = _request.getHeader("X-Client");
    return decision;
  };
  MHttpProcessor prototype;
  prototype.setBodyDirectory(directory.path.c_str());
  Int64 free = 10000000;
  std::shared_ptr<MBodySpool> spool = std::make_shared<MBodySpool>();
  spool->setLimits(500000, 1000000, 2);
  spool->freeSpace = [&](const char*) { return free; };
  prototype.setBodySpool(spool);
  struct Case {
    const char* client;
    int length;
    Int64 free;
    const char* status;  // "" while the body is being read
  } cases[] = {
      {"a", 200000, 10000000, ""},
      {"a", 60000, 10000000, ""},  // kept in memory: no place in the spool needed
      {"a", 200000, 10000000, ""},
      {"a", 70000, 10000000, "HTTP/1.1 503 Service Unavailable"},   // a's third body
      {"b", 200000, 10000000, "HTTP/1.1 503 Service Unavailable"},  // over the budget
      {"b", 90000, 10000000, ""},
      {"c", 70000, 10000000, "HTTP/1.1 503 Service Unavailable"},  // over the budget
  };
  std::vector<std::unique_ptr<ProcessorHarness>> bodies;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.client) + " " + std::to_string(c.length));
    free = c.free;
    bodies.emplace_back(new ProcessorHarness(&handler, &prototype));
    ProcessorHarness& h = *bodies.back();
    h.feed("POST / HTTP/1.1\r\nX-Client: " + std::string(c.client) +
           "\r\nContent-Length: " + std::to_string(c.length) + "\r\n\r\n" +
           std::string(30000, 'x'));
    h.run();
    std::string out = h.drain();
    EXPECT_EQ(c.status, statusLine(out));
    EXPECT_EQ(*c.status ? "10" : "", responseHeader(out, "Retry-After"));
  }
  EXPECT_EQ(3, spool->getBodies());
  EXPECT_EQ(490000, spool->getReservedBytes());
  // A finished request gives its place back with its file.
  bodies[0]->exchange(std::string(200000 - 30000, 'x'));
  ASSERT_EQ(1u, handler.seen.size());
  EXPECT_EQ(200000u, handler.seen[0].content.size());
  EXPECT_EQ(2, spool->getBodies());
  EXPECT_EQ(290000, spool->getReservedBytes());

  // Too little free space left: what is already under way counts as written.
  free = 1000000 + 200000 + 30000;
  ProcessorHarness low(&handler, &prototype);
  std::string out = low.exchange("POST / HTTP/1.1\r\nX-Client: d\r\nContent-Length: 70000\r\n\r\n");
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable", statusLine(out));
  bodies.clear();
  EXPECT_EQ(0, spool->getBodies());
  EXPECT_EQ(0, spool->getReservedBytes());
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
  EXPECT_STREQ("endMessage", MHttpProcessor::getStateName(MHttpProcessor::STATE_END_MESSAGE));
  EXPECT_STREQ("", MHttpProcessor::getStateName(MHttpProcessor::STATE_COUNT));
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
