#ifndef VISTREL_MHTTPPROCESSOR_H
#define VISTREL_MHTTPPROCESSOR_H

#include <atomic>

#include "lib/core/MString.h"
#include "lib/net/MStreamProcessor.h"

class MHttpHandler;
class MHttpRequest;
class MHttpResponse;

// HTTP/1.x on one connection, as a resumable state machine over the connection's two ring
// buffers. Each call of process performs one bounded step and never waits: a step that
// lacks input or output room returns and runs again on a later call. It accepts GET and
// POST, keeps the connection open for further requests, and asks the server loop to close
// it after a response whose Connection header is "Close" (any letter case).
//
// A request that carries Transfer-Encoding is answered "501 Not Implemented" and the
// connection closed, without the handler: its body is framed in a way this processor does
// not read, and taking the body's bytes for further requests would let one request smuggle
// in another.
//
// Limits: lines of at most 9999 characters, at most 100 header lines per request, bodies
// below 20000000 bytes kept (larger ones read and dropped), and all kept bodies of all
// connections together within a process-wide budget; a request whose body does not fit
// waits, unread, until others have finished.
class MHttpProcessor : public MStreamProcessor {
 public:
  enum State {
    STATE_NEW_MESSAGE = 0,
    STATE_READ_TYPE,
    STATE_READ_HEADERS,
    STATE_READ_CONTENT,
    STATE_HTTP_REQUEST,
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
  // Most body bytes moved in one step.
  static const int maxTransfer = 40000;

  // Time-outs in milliseconds, in line with the defaults of established servers, far longer
  // than any browser needs:
  // a connection with no request under way (keep-alive) is closed after 75 s of quiet;
  static const int idleTimeout = 75000;
  // a request line and its headers must be complete within 60 s of the request's first byte;
  static const int headerTimeout = 60000;
  // a body must not pause for more than 60 s, and after its first 60 s it must have
  // arrived at 500 bytes a second on average.
  static const int bodyTimeout = 60000;
  static const int bodyMinRate = 500;
  // The default budget for the kept bodies of all connections together.
  static const Int64 defaultBodyBudget = 256LL * 1024 * 1024;

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
  // Between requests (since the last byte moved) and while a request line or its headers
  // are arriving (since the request's first byte), with no answer waiting to be sent.
  bool canGiveWay(UInt64& _since) override;
  // Hands a complete request to the handler's dispatchRequest; nothing without a handler.
  virtual void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response);

  static void setBodyBudget(Int64 _bytes) { bodyBudget = _bytes; }
  static Int64 getBodyBudget() { return bodyBudget; }
  static Int64 getBodyBudgetInUse() { return bodyBudgetInUse; }

 protected:
  void process_newMessage();
  void process_readType();
  void process_readHeaders();
  void process_readContent();
  void process_httpRequest();
  void process_writeType();
  void process_writeHeaders();
  void process_writeContent();
  void process_endMessage();

 private:
  typedef void (MHttpProcessor::*StepHandler)();
  static const StepHandler stepHandlers[STATE_COUNT];
  static const char* const stateNames[STATE_COUNT];

  // Takes the next complete line without its line end; false when none is there yet. A line
  // that cannot end within maxLineLength asks for the connection to be closed.
  bool readLine(MString& _line);
  // Moves as much of the pending text into the output buffer as fits; true when all of it
  // has gone.
  bool writePending();
  void startPending(const MString& _text);
  void deleteMessage();
  bool reserveBody(Int64 _bytes);
  // Everything a step can change, to tell whether a step got anything done.
  struct Mark {
    int state, contentRead, contentWritten, pendingWritten;
    Int64 inputBytes, freeSize;
    bool closeRequested, pendingActive;
    bool operator==(const Mark& _other) const;
  };
  Mark mark();

  static std::atomic<Int64> bodyBudget;
  static std::atomic<Int64> bodyBudgetInUse;

  int state;
  MHttpRequest* request;
  MHttpResponse* response;
  int contentRead;
  int contentWritten;
  MHttpHandler* handler;

  // The status line or header block on its way into the output buffer.
  MString pendingText;
  int pendingWritten;
  bool pendingActive;
  int headerLines;
  // The request carries Transfer-Encoding and is refused.
  bool refused;
  // Body bytes of the current request counted against the budget.
  Int64 bodyReserved;
  bool bodyStarted;
  UInt64 requestStart;
  UInt64 bodyStart;
  UInt64 idleSince;
};

#endif
