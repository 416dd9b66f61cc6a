#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "NetTestSupport.h"
#include "tests/support/TestRoot.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MRoundBuffer.h"
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

TEST(MHttpProcessor, ALargeBodyWithoutAPlaceForItsFileIsRefused) {
  TestHandler handler;
  ProcessorHarness h(&handler);
  h.processor->setBodyDirectory("/nonexistent-directory");
  std::string out = h.exchange(post("/u", std::string(100000, 'x')) + get("/next"));
  EXPECT_EQ("HTTP/1.1 503 Service Unavailable", statusLine(out));
  EXPECT_TRUE(handler.seen.empty());
  EXPECT_TRUE(h.processor->isCloseRequested());
  // A small one still needs no file.
  TestHandler handler2;
  ProcessorHarness h2(&handler2);
  h2.processor->setBodyDirectory("/nonexistent-directory");
  EXPECT_EQ("HTTP/1.1 200 OK", statusLine(h2.exchange(post("/u", std::string(1000, 'x')))));
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
    std::string body = "username=a%26b%3Dc&password=p%25w+d&page=2";
    h.exchange(std::string(c.method) + " /?page=1&session=s HTTP/1.1\r\nContent-Type: " + c.type +
               "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    ASSERT_EQ(1u, handler.seen.size());
    auto& params = handler.seen[0].params;
    EXPECT_EQ("s", params["session"]);
    EXPECT_EQ(c.read ? "a&b=c" : "", params["username"]);
    EXPECT_EQ(c.read ? "p%w+d" : "", params["password"]);
    // The body's value comes after the query's and wins.
    EXPECT_EQ(c.read ? "2" : "1", params["page"]);
  }
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

  // A body gives its place once it falls behind the time-out's rate, counted from its start.
  UInt64 since = 0;
  ProcessorHarness waiting(&handler);
  waiting.feed("POST / HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n");
  waiting.run();
  sleepFor(0, 5);
  EXPECT_TRUE(waiting.processor->canGiveWay(since));
  ProcessorHarness keeping(&handler);
  keeping.feed("POST / HTTP/1.1\r\nContent-Length: 1000000\r\n\r\n" + std::string(30000, 'x'));
  keeping.run();
  EXPECT_FALSE(keeping.processor->canGiveWay(since));

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
