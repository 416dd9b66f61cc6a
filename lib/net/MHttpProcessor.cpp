#include "lib/net/MHttpProcessor.h"

#include <strings.h>

#include <cctype>
#include <climits>
#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MHttpHandler.h"
#include "lib/net/MHttpQuery.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MInterface.h"
#include "lib/net/MSocket.h"

const MHttpProcessor::StepHandler MHttpProcessor::stepHandlers[STATE_COUNT] = {
    &MHttpProcessor::process_newMessage,   &MHttpProcessor::process_readType,
    &MHttpProcessor::process_readHeaders,  &MHttpProcessor::process_readContent,
    &MHttpProcessor::process_httpRequest,  &MHttpProcessor::process_writeType,
    &MHttpProcessor::process_writeHeaders, &MHttpProcessor::process_writeContent,
    &MHttpProcessor::process_endMessage,
};

const char* const MHttpProcessor::stateNames[STATE_COUNT] = {
    "newMessage",  "readType",     "readHeaders",  "readContent", "httpRequest",
    "writeType",   "writeHeaders", "writeContent", "endMessage",
};

std::atomic<Int64> MHttpProcessor::bodyBudget(MHttpProcessor::defaultBodyBudget);
std::atomic<Int64> MHttpProcessor::bodyBudgetInUse(0);

namespace {
// Scratch space for one body transfer; processors run on the server loop's thread, fuzzers
// and tests on theirs.
char* transferArea() {
  static thread_local char area[MHttpProcessor::maxTransfer];
  return area;
}

// The number at the start of a Content-Length value: optional white space and sign, then
// digits; no digits give 0. Too large a number is taken as the largest int, which is far
// beyond the bodies that are kept.
int parseLength(const char* _text) {
  while (isspace((unsigned char)*_text)) ++_text;
  bool negative = false;
  if (*_text == '+' || *_text == '-') negative = *_text++ == '-';
  Int64 value = 0;
  while (isdigit((unsigned char)*_text)) {
    value = value * 10 + (*_text++ - '0');
    if (value > INT_MAX) value = INT_MAX;
  }
  return (int)(negative ? -value : value);
}

bool startsWith(const char* _text, const char* _prefix) {
  return strncmp(_text, _prefix, strlen(_prefix)) == 0;
}
}  // namespace

MHttpProcessor::MHttpProcessor() : MHttpProcessor(nullptr) {}

MHttpProcessor::MHttpProcessor(MInterface* _interface)
    : MStreamProcessor(_interface),
      state(STATE_NEW_MESSAGE),
      request(nullptr),
      response(nullptr),
      contentRead(0),
      contentWritten(0),
      handler(nullptr),
      pendingWritten(0),
      pendingActive(false),
      headerLines(0),
      refused(false),
      bodyReserved(0),
      bodyStarted(false),
      requestStart(0),
      bodyStart(0),
      idleSince(clockMillis()) {}

MHttpProcessor::~MHttpProcessor() { deleteMessage(); }

const char* MHttpProcessor::getStateName(int _state) {
  return _state >= 0 && _state < STATE_COUNT ? stateNames[_state] : "";
}

MObject* MHttpProcessor::newObject() {
  MHttpProcessor* processor = new MHttpProcessor();
  processor->handler = handler;
  return processor;
}

void MHttpProcessor::deleteMessage() {
  delete request;
  delete response;
  request = nullptr;
  response = nullptr;
  if (bodyReserved > 0) bodyBudgetInUse -= bodyReserved;
  bodyReserved = 0;
}

bool MHttpProcessor::reserveBody(Int64 _bytes) {
  Int64 used = bodyBudgetInUse;
  do {
    // A body larger than the whole budget may still go alone.
    if (used + _bytes > bodyBudget && used > 0) return false;
  } while (!bodyBudgetInUse.compare_exchange_weak(used, used + _bytes));
  bodyReserved = _bytes;
  return true;
}

bool MHttpProcessor::Mark::operator==(const Mark& _other) const {
  return state == _other.state && contentRead == _other.contentRead &&
         contentWritten == _other.contentWritten && pendingWritten == _other.pendingWritten &&
         inputBytes == _other.inputBytes && freeSize == _other.freeSize &&
         closeRequested == _other.closeRequested && pendingActive == _other.pendingActive;
}

MHttpProcessor::Mark MHttpProcessor::mark() {
  Mark m;
  m.state = state;
  m.contentRead = contentRead;
  m.contentWritten = contentWritten;
  m.pendingWritten = pendingWritten;
  m.inputBytes = interface->getInput()->getInputBytes();
  m.freeSize = interface->getOutput()->getFreeSize();
  m.closeRequested = closeRequested;
  m.pendingActive = pendingActive;
  return m;
}

bool MHttpProcessor::canProcess() try {
  if (interface == nullptr || closeRequested) return false;
  MRoundBuffer* input = interface->getInput();
  MRoundBuffer* output = interface->getOutput();
  if (input == nullptr || output == nullptr) return false;
  if (input->getInputBytes() > 0 && output->getFreeSize() > 0) return true;
  return state > STATE_READ_HEADERS;
} M_RETHROW("bool MHttpProcessor::canProcess()")

bool MHttpProcessor::process() try {
  if (!canProcess()) return false;
  Mark before = mark();
  // Taken into a local first: GCC's bounds check misreads the index of a member-function
  // pointer array used directly in the call.
  StepHandler step = stepHandlers[state];
  (this->*step)();
  return !(mark() == before);
} M_RETHROW("bool MHttpProcessor::process()")

bool MHttpProcessor::isExpired(UInt64 _now) {
  if (interface == nullptr) return false;
  auto since = [_now](UInt64 _time) { return _now > _time ? _now - _time : 0; };
  switch (state) {
    case STATE_NEW_MESSAGE: {
      // Between requests: only quiet connections count as idle.
      if (interface->getOutput() == nullptr || interface->getOutput()->getInputBytes() > 0)
        return false;
      UInt64 last = idleSince;
      if (interface->getLastReceive() > last) last = interface->getLastReceive();
      if (interface->getLastSend() > last) last = interface->getLastSend();
      return since(last) > (UInt64)idleTimeout;
    }
    case STATE_READ_TYPE:
    case STATE_READ_HEADERS:
      // While earlier answers wait in the output, the loop's send time-out watches the
      // client instead.
      if (interface->getOutput() != nullptr && interface->getOutput()->getInputBytes() > 0)
        return false;
      return since(requestStart) > (UInt64)headerTimeout;
    case STATE_READ_CONTENT: {
      // Waiting for room in the body budget is the server's doing, not the client's.
      if (!bodyStarted) return false;
      UInt64 last = bodyStart;
      if (interface->getLastReceive() > last) last = interface->getLastReceive();
      UInt64 allowed = (UInt64)bodyTimeout + (UInt64)contentRead * 1000 / bodyMinRate;
      return since(last) > (UInt64)bodyTimeout || since(bodyStart) > allowed;
    }
    default:
      return false;
  }
}

bool MHttpProcessor::canGiveWay(UInt64& _since) {
  if (interface == nullptr || interface->getOutput() == nullptr ||
      interface->getOutput()->getInputBytes() > 0 || pendingActive)
    return false;
  switch (state) {
    case STATE_NEW_MESSAGE: {
      UInt64 last = idleSince;
      if (interface->getLastReceive() > last) last = interface->getLastReceive();
      if (interface->getLastSend() > last) last = interface->getLastSend();
      _since = last;
      return true;
    }
    case STATE_READ_TYPE:
    case STATE_READ_HEADERS:
      _since = requestStart;
      return true;
    default:
      return false;
  }
}

void MHttpProcessor::event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) try {
  if (handler != nullptr) handler->dispatchRequest(_request, _response);
} M_RETHROW("void MHttpProcessor::event_httpRequest(MHttpRequest& _request, MHttpResponse& _response)")

bool MHttpProcessor::readLine(MString& _line) {
  MRoundBuffer* input = interface->getInput();
  int distance = input->findByte(10, maxLineLength);
  if (distance < 0 || distance >= maxLineLength) {
    // No line feed where one must be: the client can never complete this line, and waiting
    // for it would hold the connection for ever.
    if (input->getInputBytes() >= maxLineLength) closeRequested = true;
    return false;
  }
  char line[maxLineLength];
  int n = input->readData(line, distance + 1);
  int length = 0;
  for (int i = 0; i < n; ++i) {
    if (line[i] == 10) break;
    if (line[i] != 13) line[length++] = line[i];
  }
  _line = MString(line, length);
  return true;
}

void MHttpProcessor::startPending(const MString& _text) {
  pendingText = _text;
  pendingWritten = 0;
  pendingActive = true;
}

bool MHttpProcessor::writePending() {
  MRoundBuffer* output = interface->getOutput();
  int length = pendingText.getLength();
  int remaining = length - pendingWritten;
  Int64 free = output->getFreeSize();
  int n = free < remaining ? (int)free : remaining;
  if (n > 0) {
    output->writeData(pendingText.getValue() + pendingWritten, n);
    pendingWritten += n;
  }
  if (pendingWritten < length) return false;
  pendingText = "";
  pendingWritten = 0;
  pendingActive = false;
  return true;
}

void MHttpProcessor::process_newMessage() try {
  deleteMessage();
  request = new MHttpRequest();
  response = new MHttpResponse();
  contentRead = 0;
  contentWritten = 0;
  headerLines = 0;
  refused = false;
  bodyStarted = false;
  requestStart = clockMillis();
  state = STATE_READ_TYPE;
} M_RETHROW("void MHttpProcessor::process_newMessage()")

void MHttpProcessor::process_readType() try {
  MString line;
  if (!readLine(line)) return;
  const char* text = line.getValue();
  // Blank lines before a request are skipped; other methods get no answer.
  if (!startsWith(text, "GET ") && !startsWith(text, "POST ")) return;

  // Each space ends a word, so empty words count: "GET  /" has an empty url.
  MString* words[3] = {&request->method, &request->url, &request->version};
  const char* start = text;
  for (int w = 0; w < 3; ++w) {
    const char* end = strchr(start, ' ');
    if (end == nullptr) {
      *words[w] = start;
      break;
    }
    *words[w] = MString(start, (int)(end - start));
    start = end + 1;
  }

  MSocket* socket = interface->getSocket();
  if (socket != nullptr) {
    request->remoteAddress = socket->getRemoteAddress();
    request->remotePort = socket->getRemotePort();
  }

  const char* url = request->url.getValue();
  const char* question = strchr(url, '?');
  if (question != nullptr && strchr(question + 1, '?') == nullptr) {
    request->path = MString(url, (int)(question - url));
    MHttpQuery::parse(question + 1, request->params);
  } else {
    request->path = request->url;
  }
  state = STATE_READ_HEADERS;
} M_RETHROW("void MHttpProcessor::process_readType()")

void MHttpProcessor::process_readHeaders() try {
  MString line;
  if (!readLine(line)) return;
  if (line.getLength() == 0) {
    // A refused request's body is never read: the connection ends after the answer.
    state = refused ? STATE_HTTP_REQUEST : STATE_READ_CONTENT;
    return;
  }
  if (++headerLines > maxHeaderLines) {
    closeRequested = true;
    return;
  }
  const char* text = line.getValue();
  // Also without the blank after the colon, which would otherwise hide the header.
  if (strncasecmp(text, "Transfer-Encoding:", 18) == 0) refused = true;
  const char* colon = strstr(text, ": ");
  if (colon == nullptr) return;
  MString name(text, (int)(colon - text));
  const char* value = colon + 2;
  if (strcasecmp(name.getValue(), "Content-Length") == 0) request->contentLength = parseLength(value);
  request->headers.setObject(name.getValue(), value);
} M_RETHROW("void MHttpProcessor::process_readHeaders()")

void MHttpProcessor::process_readContent() try {
  int remaining = request->contentLength - contentRead;
  if (remaining <= 0) {
    state = STATE_HTTP_REQUEST;
    return;
  }
  bool keep = request->contentLength < maxStoredBody;
  if (!bodyStarted) {
    // Until the budget has room the body stays in the socket, which holds the client back.
    if (keep && !reserveBody(request->contentLength)) return;
    bodyStarted = true;
    bodyStart = clockMillis();
  }
  int n = remaining < maxTransfer ? remaining : maxTransfer;
  char* area = transferArea();
  n = interface->getInput()->readData(area, n);
  if (n <= 0) return;
  if (keep) request->content.writeData(area, n);
  contentRead += n;
} M_RETHROW("void MHttpProcessor::process_readContent()")

void MHttpProcessor::process_httpRequest() try {
  response->version = request->version;
  if (refused) {
    response->statusCode = 501;
    response->statusText = "Not Implemented";
    response->headers.setObject("Connection", "Close");
  } else {
    MObject* connection = request->headers.getObject("Connection");
    if (connection != nullptr) {
      MString value = connection->toString();
      if (value.getLength() > 0) response->headers.setObject("Connection", value.getValue());
    }
    event_httpRequest(*request, *response);
  }
  response->contentLength = (int)response->content.getWritePos();
  response->headers.setObject("Content-Type", response->contentType.getValue());
  response->headers.setObject("Content-Length", response->contentLength);
  state = STATE_WRITE_TYPE;
  process_writeType();
} M_RETHROW("void MHttpProcessor::process_httpRequest()")

void MHttpProcessor::process_writeType() try {
  if (!pendingActive) {
    startPending(MString::format("%s %d %s\r\n", response->version.getValue(), response->statusCode,
                                 response->statusText.getValue()));
  }
  if (writePending()) state = STATE_WRITE_HEADERS;
} M_RETHROW("void MHttpProcessor::process_writeType()")

void MHttpProcessor::process_writeHeaders() try {
  if (!pendingActive) {
    std::string block;
    for (MItem* item = response->headers.getFirstItem(); item != nullptr;
         item = response->headers.getNextItem(item)) {
      block += item->key->toString().getValue();
      block += ": ";
      block += item->object->toString().getValue();
      block += "\r\n";
    }
    block += "\r\n";
    startPending(MString(block.c_str()));
  }
  if (writePending()) state = STATE_WRITE_CONTENT;
} M_RETHROW("void MHttpProcessor::process_writeHeaders()")

void MHttpProcessor::process_writeContent() try {
  int remaining = response->contentLength - contentWritten;
  if (remaining <= 0) {
    state = STATE_END_MESSAGE;
    return;
  }
  MRoundBuffer* output = interface->getOutput();
  Int64 free = output->getFreeSize();
  if (free <= 0) return;
  int n = remaining;
  if (n > maxTransfer) n = maxTransfer;
  if (n > free) n = (int)free;
  char* area = transferArea();
  n = response->content.readData(area, n);
  if (n <= 0) {
    // The body ended before the announced length (its read position was moved): the client
    // would wait for the missing bytes, so the connection has to end with this response.
    process_endMessage();
    closeRequested = true;
    return;
  }
  output->writeData(area, n);
  contentWritten += n;
} M_RETHROW("void MHttpProcessor::process_writeContent()")

void MHttpProcessor::process_endMessage() try {
  MObject* connection = response->headers.getObject("Connection");
  if (connection != nullptr && strcasecmp(connection->toString().getValue(), "Close") == 0)
    closeRequested = true;
  deleteMessage();
  state = STATE_NEW_MESSAGE;
  idleSince = clockMillis();
} M_RETHROW("void MHttpProcessor::process_endMessage()")
