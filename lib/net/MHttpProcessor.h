#ifndef VISTREL_MHTTPPROCESSOR_H
#define VISTREL_MHTTPPROCESSOR_H

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lib/core/MString.h"
#include "lib/net/MBodyPlaces.h"
#include "lib/net/MBodySpool.h"
#include "lib/net/MStreamProcessor.h"

class MHttpHandler;
class MHttpRequest;
class MHttpResponse;

// HTTP/1.x on one connection, as a resumable state machine over the connection's two ring
// buffers. Each call of process performs one bounded step and never waits: a step that
// lacks input or output room returns and runs again on a later call. It answers GET, POST
// and HEAD (as GET, without the body), keeps the connection open for further requests, and
// asks the server loop to close it after a response whose Connection header is "Close" (any
// letter case).
//
// Framing is strict, because a request whose end two programs (a proxy and this one) see
// in different places lets one request smuggle in another. These requests are refused
// without the handler, answered with "Connection: Close" and never read further:
//   400  a line that is no request line, a header line without a colon or with a blank or
//        tab before it, a Content-Length that is not all digits or that differs from an
//        earlier one;
//   405  any method but GET, POST and HEAD (with "Allow: GET, POST, HEAD");
//   414  a request line that does not end within the line limit;
//   431  a header line that does not, or more header lines than the limit;
//   501  any Transfer-Encoding: a body framed in a way this processor does not read.
// Blank lines before a request line are skipped.
//
// A body is admitted before any of it is read, at the end of its request's head, and
// refused the same way otherwise:
//   413  (or another status the handler names) the handler does not want it
//        (MHttpHandler::admitBody, which also names the client the limits below count it
//        against);
//   503  with "Retry-After": the connections reading bodies hold every place they may have,
//        in all or of this client, and none of them has fallen behind (MBodyPlaces), or a
//        body for a file finds no room in the spool (MBodySpool: bytes on disk at once,
//        bodies of one client, free space left in the body directory).
// A body that has fallen behind its pace (below) gives its place to a new one when all are
// taken: it is answered 408 and its connection closed.
//
// Bodies up to maxMemoryBody bytes are kept in memory, larger ones below maxStoredBody in
// an unnamed file in the body directory (it has no name from the moment it is made, so it
// goes with the request, and with the process should it die); larger ones are read and
// dropped. A body whose file cannot be made or written (no file handle, a full disk) is read
// to its end and dropped as well, and its request goes to the handler saying why
// (MHttpRequest::bodyError), so that the user can be told. A connection thus holds its two
// buffers and at most maxMemoryBody bytes of body.
//
// Limits: lines of at most 9999 characters, at most 100 header lines per request.
//
// A form body (application/x-www-form-urlencoded) kept in memory adds its fields to the
// request's parameters, read as a query string is.
class MHttpProcessor : public MStreamProcessor {
 public:
  enum State {
    STATE_NEW_MESSAGE = 0,
    STATE_READ_TYPE,
    STATE_READ_HEADERS,
    STATE_READ_CONTENT,
    STATE_HTTP_REQUEST,
    STATE_WAIT_RESPONSE,
    STATE_WRITE_TYPE,
    STATE_WRITE_HEADERS,
    STATE_WRITE_CONTENT,
    STATE_END_MESSAGE,
    STATE_COUNT
  };

  // A line must end within this many bytes, its line feed included.
  static const int maxLineLength = 10000;
  // More header lines than this in one request close the connection.
  static const int maxHeaderLines = 100;
  // Bodies of this many bytes or more are read and dropped.
  static const int maxStoredBody = 20000000;
  // Larger bodies go into a file.
  static const int maxMemoryBody = 64 * 1024;
  // Most body bytes moved in one step.
  static const int maxTransfer = 40000;

  // Time-outs in milliseconds, in line with the defaults of established servers, far longer
  // than any browser needs:
  // a connection with no request under way (keep-alive) is closed after 75 s of quiet;
  static const int idleTimeout = 75000;
  // a request line and its headers must be complete within 60 s of the request's first byte;
  static const int headerTimeout = 60000;
  // a body must not pause for more than 60 s, and it must be complete within 60 s plus its
  // length at bodyRate bytes a second (a body kept in memory within 61 s, the largest kept
  // in a file within 260 s), however its bytes come;
  static const int bodyTimeout = 60000;
  static const int bodyRate = 100000;
  // a body keeps its pace while it has arrived at bodyRate since its start, with at most
  // bodyPaceSlack of credit: bytes that came early never earn more, so 100 KB at once and
  // then a byte every 20 s fall behind after 11 s. A body behind its pace may lose its
  // place to a new connection (canGiveWay) or a new body (MBodyPlaces).
  static const int bodyPaceSlack = 10000;
  // Seconds a client refused for want of room is asked to wait (Retry-After).
  static const int retryAfter = 10;
  // Names of the body files, followed by six characters, while they are being made.
  static const char* const bodyFilePrefix;

  MHttpProcessor();
  explicit MHttpProcessor(MInterface* _interface);
  ~MHttpProcessor() override;
  MHttpProcessor(const MHttpProcessor&) = delete;
  MHttpProcessor& operator=(const MHttpProcessor&) = delete;

  void setHandler(MHttpHandler* _handler) { handler = _handler; }
  MHttpHandler* getHandler() { return handler; }
  int getState() const { return state; }
  static const char* getStateName(int _state);

  MObject* newObject() override;
  bool process() override;
  bool canProcess() override;
  bool isExpired(UInt64 _now) override;
  // With no answer waiting to be sent: between requests (since the last byte moved), while
  // a request line or its headers are arriving (since the request's first byte), and while
  // a body is behind its pace (since it fell behind).
  bool canGiveWay(UInt64& _since) override;
  // "idle" between requests, "reading" a request, "working" on its answer, "writing" it.
  const char* getStage() const override;
  // Hands a complete request to the handler's dispatchRequest; nothing without a handler.
  virtual void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response);

  // A header every answer carries, the refusals made without the handler too (the handler
  // may replace its value); newObject carries them over.
  void addStandingHeader(const char* _name, const char* _value) {
    standingHeaders.emplace_back(_name, _value);
  }
  // Where the files of large bodies are made (default /tmp); newObject carries it over.
  void setBodyDirectory(const char* _directory) { bodyDirectory = _directory; }
  const MString& getBodyDirectory() const { return bodyDirectory; }
  // The places for bodies and the spool: a processor has its own until it is given others;
  // newObject shares the prototype's, so that they count every connection of a server.
  void setBodyPlaces(std::shared_ptr<MBodyPlaces> _places) { places = std::move(_places); }
  MBodyPlaces& getBodyPlaces();
  void setBodySpool(std::shared_ptr<MBodySpool> _spool) { spool = std::move(_spool); }
  MBodySpool& getBodySpool();
  // The clock of the time-outs, in milliseconds (clockMillis unless replaced, for tests);
  // newObject carries it over.
  void setClock(std::function<UInt64()> _clock);
  // Removes body files in _directory that a process left behind when it died between
  // making one and taking its name away; one line on standard error for each. Returns the
  // number removed.
  static int removeBodyFiles(const char* _directory);

 protected:
  void process_newMessage();
  void process_readType();
  void process_readHeaders();
  void process_readContent();
  void process_httpRequest();
  void process_waitResponse();
  void process_writeType();
  void process_writeHeaders();
  void process_writeContent();
  void process_endMessage();

 private:
  friend class MBodyPlaces;
  typedef void (MHttpProcessor::*StepHandler)();
  static const StepHandler stepHandlers[STATE_COUNT];
  static const char* const stateNames[STATE_COUNT];

  enum LineResult { LINE_WAIT, LINE_READY, LINE_TOO_LONG };
  // Takes the next complete line without its line end. LINE_TOO_LONG: it cannot end within
  // maxLineLength.
  LineResult readLine(MString& _line);
  // Answers _status without the handler and closes the connection afterwards; with
  // _retryAfter, tells the client when to try again.
  void refuse(int _status, int _retryAfter = 0);
  // Takes one header line; refuses the request when the line breaks the framing rules.
  void readHeader(const MString& _line);
  // After the header block: admits the body (see the class comment), or refuses it.
  void startBody();
  // The body's place goes to another (MBodyPlaces): answered 408.
  void loseBodyPlace();
  // _bytes more of the body have arrived: its pace moves on.
  void keepPace(int _bytes);
  // Drops what arrived of the body, which cannot be kept (_error, an errno value); the
  // rest is read and dropped.
  void loseBody(int _error);
  UInt64 now() const { return clock ? clock() : clockMillis(); }
  // Content-Type and Content-Length of the finished answer, and on to writing it.
  void finishResponse();
  // After the body: the fields of a form body into the parameters.
  void readFormBody();
  // A new unnamed file in the body directory; -1 with errno telling why.
  int openBodyFile();
  // Moves as much of the pending text into the output buffer as fits; true when all of it
  // has gone.
  bool writePending();
  void startPending(std::string _text);
  void deleteMessage();
  // Everything a step can change, to tell whether a step got anything done.
  struct Mark {
    int state, contentRead, contentWritten, pendingWritten;
    Int64 inputBytes, freeSize;
    bool closeRequested, pendingActive;
    bool operator==(const Mark& _other) const;
  };
  Mark mark();

  int state;
  MHttpRequest* request;
  MHttpResponse* response;
  int contentRead;
  int contentWritten;
  MHttpHandler* handler;

  // The status line or header block on its way into the output buffer.
  std::string pendingText;
  int pendingWritten;
  bool pendingActive;
  int headerLines;
  // The status of a refused request; 0 when it is served.
  int refusal;
  // Its Retry-After in seconds; 0 for none.
  int refusalRetry;
  // A HEAD request: the answer goes without its body.
  bool headOnly;
  bool contentLengthSeen;
  MString bodyDirectory;
  std::vector<std::pair<std::string, std::string>> standingHeaders;
  UInt64 requestStart;
  // Microseconds of the process clock when the request line was complete: the answer's time
  // is counted from there.
  UInt64 answerStart = 0;
  UInt64 bodyStart;
  // Microseconds of the clock until which the body is within its pace.
  UInt64 paceDue;
  UInt64 idleSince;
  std::function<UInt64()> clock;
  std::shared_ptr<MBodyPlaces> places;
  std::shared_ptr<MBodySpool> spool;
};

#endif
