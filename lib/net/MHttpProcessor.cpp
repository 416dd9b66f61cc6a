#include "lib/net/MHttpProcessor.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MHttpHandler.h"
#include "lib/net/MHttpQuery.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MInterface.h"
#include "lib/net/MSocket.h"
#include "lib/platform/MClock.h"

const MHttpProcessor::StepHandler MHttpProcessor::stepHandlers[STATE_COUNT] = {
    &MHttpProcessor::process_newMessage,   &MHttpProcessor::process_readType,
    &MHttpProcessor::process_readHeaders,  &MHttpProcessor::process_readContent,
    &MHttpProcessor::process_httpRequest,  &MHttpProcessor::process_waitResponse,
    &MHttpProcessor::process_writeType,
    &MHttpProcessor::process_writeHeaders, &MHttpProcessor::process_writeContent,
    &MHttpProcessor::process_endMessage,
};

const char* const MHttpProcessor::stateNames[STATE_COUNT] = {
    "newMessage",  "readType",     "readHeaders",  "readContent", "httpRequest",
    "waitResponse", "writeType",   "writeHeaders", "writeContent", "endMessage",
};

const char* const MHttpProcessor::bodyFilePrefix = "body_";

namespace {
// The text of a header's name or value; texts are taken as they are, without a copy.
void appendText(std::string& _out, MObject* _value) {
  if (MString* text = dynamic_cast<MString*>(_value)) {
    _out += text->getValue();
  } else {
    _out += _value->toString().getValue();
  }
}

// Scratch space for one body transfer; processors run on the server loop's thread, fuzzers
// and tests on theirs.
char* transferArea() {
  static thread_local char area[MHttpProcessor::maxTransfer];
  return area;
}

// The reason phrases of the answers a request can be refused with.
struct Refusal {
  int status;
  const char* text;
};
const Refusal refusals[] = {
    {400, "Bad Request"},
    {405, "Method Not Allowed"},
    {408, "Request Timeout"},
    {413, "Payload Too Large"},
    {414, "URI Too Long"},
    {431, "Request Header Fields Too Large"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
};

const char* refusalText(int _status) {
  for (const Refusal& refusal : refusals) {
    if (refusal.status == _status) return refusal.text;
  }
  return "Refused";
}

// A Content-Length value: one or more digits and nothing else. Too large a number is taken
// as the largest int, which is far beyond the bodies that are kept.
bool parseLength(const char* _text, int& _length) {
  if (*_text == 0) return false;
  Int64 value = 0;
  for (; *_text != 0; ++_text) {
    if (*_text < '0' || *_text > '9') return false;
    value = value * 10 + (*_text - '0');
    if (value > INT_MAX) value = INT_MAX;
  }
  _length = (int)value;
  return true;
}

// The characters a method name (a token) may have.
bool isTokenCharacter(char _c) {
  return (_c >= 'a' && _c <= 'z') || (_c >= 'A' && _c <= 'Z') || (_c >= '0' && _c <= '9') ||
         (_c != 0 && strchr("!#$%&'*+-.^_`|~", _c) != nullptr);
}

bool isBlank(char _c) { return _c == ' ' || _c == '\t'; }

// False with errno telling why.
bool writeAll(int _handle, const char* _data, int _size) {
  while (_size > 0) {
    ssize_t n = write(_handle, _data, (size_t)_size);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    _data += n;
    _size -= (int)n;
  }
  return true;
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
      refusal(0),
      refusalRetry(0),
      headOnly(false),
      contentLengthSeen(false),
      bodyDirectory("/tmp"),
      requestStart(0),
      bodyStart(0),
      paceDue(0),
      idleSince(clockMillis()) {}

MHttpProcessor::~MHttpProcessor() {
  if (places) places->leave(this);
  deleteMessage();
}

MBodyPlaces& MHttpProcessor::getBodyPlaces() {
  if (!places) places = std::make_shared<MBodyPlaces>();
  return *places;
}

MBodySpool& MHttpProcessor::getBodySpool() {
  if (!spool) spool = std::make_shared<MBodySpool>();
  return *spool;
}

void MHttpProcessor::setClock(std::function<UInt64()> _clock) {
  clock = std::move(_clock);
  idleSince = now();
}

const char* MHttpProcessor::getStage() const {
  switch (state) {
    case STATE_NEW_MESSAGE: return "idle";
    case STATE_READ_TYPE:
      // Waiting for the next request line of a kept-alive connection.
      if (interface == nullptr || interface->getInput() == nullptr ||
          interface->getInput()->getInputBytes() == 0)
        return "idle";
      return "reading";
    case STATE_READ_HEADERS:
    case STATE_READ_CONTENT: return "reading";
    case STATE_HTTP_REQUEST:
    case STATE_WAIT_RESPONSE: return "working";
    default: return "writing";
  }
}

const char* MHttpProcessor::getStateName(int _state) {
  return _state >= 0 && _state < STATE_COUNT ? stateNames[_state] : "";
}

MObject* MHttpProcessor::newObject() {
  MHttpProcessor* processor = new MHttpProcessor();
  processor->handler = handler;
  processor->bodyDirectory = bodyDirectory;
  processor->wakeup = wakeup;
  processor->standingHeaders = standingHeaders;
  getBodyPlaces();
  getBodySpool();
  processor->places = places;
  processor->spool = spool;
  if (clock) processor->setClock(clock);
  return processor;
}

void MHttpProcessor::deleteMessage() {
  // An answer still owed to a connection that goes: its work must not finish it.
  if (response != nullptr && response->later) response->later->abandon();
  // The request closes its body file, which takes the file's space with it.
  delete request;
  delete response;
  request = nullptr;
  response = nullptr;
}

int MHttpProcessor::removeBodyFiles(const char* _directory) try {
  int removed = 0;
  DIR* directory = opendir(_directory);
  if (directory == nullptr) return 0;
  std::vector<std::string> names;
  size_t prefix = strlen(bodyFilePrefix);
  while (struct dirent* entry = readdir(directory)) {
    if (strncmp(entry->d_name, bodyFilePrefix, prefix) == 0 && strlen(entry->d_name) == prefix + 6)
      names.push_back(entry->d_name);
  }
  closedir(directory);
  for (const std::string& name : names) {
    std::string path = std::string(_directory) + "/" + name;
    if (unlink(path.c_str()) == 0) {
      fprintf(stderr, "Removed the request body file (%s)!\n", path.c_str());
      ++removed;
    }
  }
  return removed;
} M_RETHROW("int MHttpProcessor::removeBodyFiles(char *_directory)")

int MHttpProcessor::openBodyFile() {
  std::string name = std::string(bodyDirectory.getValue()) + "/" + bodyFilePrefix + "XXXXXX";
  int handle = mkostemp(&name[0], O_CLOEXEC);
  if (handle < 0) return -1;
  // Without a name from here on: the file goes when the request or the process ends.
  unlink(name.c_str());
  return handle;
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
  // An answer that completes later holds back everything behind it until it is ready.
  if (state == STATE_WAIT_RESPONSE) return response->later->isReady();
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
      UInt64 last = bodyStart;
      if (interface->getLastReceive() > last) last = interface->getLastReceive();
      UInt64 deadline = (UInt64)bodyTimeout + (UInt64)request->contentLength * 1000 / bodyRate;
      return since(last) > (UInt64)bodyTimeout || since(bodyStart) > deadline;
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
    case STATE_READ_CONTENT:
      // A body that keeps its pace keeps its place.
      if (now() * 1000 <= paceDue) return false;
      _since = paceDue / 1000;
      return true;
    default:
      return false;
  }
}

void MHttpProcessor::event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) try {
  if (handler != nullptr) handler->dispatchRequest(_request, _response);
} M_RETHROW("void MHttpProcessor::event_httpRequest(MHttpRequest& _request, MHttpResponse& _response)")

MHttpProcessor::LineResult MHttpProcessor::readLine(MString& _line) {
  MRoundBuffer* input = interface->getInput();
  int distance = input->findByte(10, maxLineLength);
  if (distance < 0 || distance >= maxLineLength) {
    // No line feed where one must be: the client can never complete this line, and waiting
    // for it would hold the connection for ever.
    return input->getInputBytes() >= maxLineLength ? LINE_TOO_LONG : LINE_WAIT;
  }
  char line[maxLineLength];
  int n = input->readData(line, distance + 1);
  int length = 0;
  for (int i = 0; i < n; ++i) {
    if (line[i] == 10) break;
    if (line[i] != 13) line[length++] = line[i];
  }
  _line = MString(line, length);
  return LINE_READY;
}

void MHttpProcessor::refuse(int _status, int _retryAfter) {
  if (places) places->leave(this);
  refusal = _status;
  refusalRetry = _retryAfter;
  state = STATE_HTTP_REQUEST;
}

void MHttpProcessor::startPending(std::string _text) {
  pendingText = std::move(_text);
  pendingWritten = 0;
  pendingActive = true;
}

bool MHttpProcessor::writePending() {
  MRoundBuffer* output = interface->getOutput();
  int length = (int)pendingText.size();
  int remaining = length - pendingWritten;
  Int64 free = output->getFreeSize();
  int n = free < remaining ? (int)free : remaining;
  if (n > 0) {
    output->writeData(pendingText.data() + pendingWritten, n);
    pendingWritten += n;
  }
  if (pendingWritten < length) return false;
  pendingText.clear();
  pendingWritten = 0;
  pendingActive = false;
  return true;
}

void MHttpProcessor::process_newMessage() try {
  deleteMessage();
  request = new MHttpRequest();
  response = new MHttpResponse();
  response->wakeup = wakeup;
  contentRead = 0;
  contentWritten = 0;
  headerLines = 0;
  refusal = 0;
  refusalRetry = 0;
  headOnly = false;
  contentLengthSeen = false;
  requestStart = now();
  state = STATE_READ_TYPE;
} M_RETHROW("void MHttpProcessor::process_newMessage()")

void MHttpProcessor::process_readType() try {
  MString line;
  LineResult result = readLine(line);
  if (result == LINE_WAIT) return;
  answerStart = getSteadyMicros();
  if (result == LINE_TOO_LONG) return refuse(414);
  // Blank lines before a request are skipped.
  if (line.getLength() == 0) return;

  // Each space ends a word, so empty words count: "GET  /" has an empty url.
  MString* words[3] = {&request->method, &request->url, &request->version};
  const char* text = line.getValue();
  const char* start = text;
  int count = 0;
  for (; count < 3; ++count) {
    const char* end = strchr(start, ' ');
    if (end == nullptr) {
      *words[count] = start;
      ++count;
      break;
    }
    *words[count] = MString(start, (int)(end - start));
    start = end + 1;
  }
  const char* method = request->method.getValue();
  bool token = *method != 0;
  for (const char* c = method; *c != 0; ++c) {
    if (!isTokenCharacter(*c)) token = false;
  }
  // A line that is no request line cannot be skipped safely: what follows it is unknown.
  if (!token || count < 2) return refuse(400);
  headOnly = strcmp(method, "HEAD") == 0;
  if (strcmp(method, "GET") != 0 && strcmp(method, "POST") != 0 && !headOnly) return refuse(405);

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
  LineResult result = readLine(line);
  if (result == LINE_WAIT) return;
  if (result == LINE_TOO_LONG) return refuse(431);
  if (line.getLength() == 0) return startBody();
  if (++headerLines > maxHeaderLines) return refuse(431);
  readHeader(line);
} M_RETHROW("void MHttpProcessor::process_readHeaders()")

void MHttpProcessor::readHeader(const MString& _line) {
  const char* text = _line.getValue();
  const char* colon = strchr(text, ':');
  if (colon == nullptr || colon == text) return refuse(400);
  // A blank before the colon (also a folded line's leading one) is read differently by
  // different programs, so it is never read at all.
  for (const char* c = text; c < colon; ++c) {
    if (isBlank(*c)) return refuse(400);
  }
  MString name(text, (int)(colon - text));
  const char* value = colon + 1;
  while (isBlank(*value)) ++value;
  const char* end = value + strlen(value);
  while (end > value && isBlank(end[-1])) --end;
  MString trimmed(value, (int)(end - value));

  if (strcasecmp(name.getValue(), "Transfer-Encoding") == 0) return refuse(501);
  if (strcasecmp(name.getValue(), "Content-Length") == 0) {
    int length = 0;
    if (!parseLength(trimmed.getValue(), length)) return refuse(400);
    if (contentLengthSeen && length != request->contentLength) return refuse(400);
    request->contentLength = length;
    contentLengthSeen = true;
  }
  request->headers.setObject(name.getValue(), trimmed.getValue());
}

void MHttpProcessor::startBody() {
  bodyStart = now();
  paceDue = (bodyStart + (UInt64)bodyPaceSlack) * 1000;
  if (request->contentLength > 0) {
    MHttpHandler::BodyDecision decision;
    try {
      if (handler != nullptr) decision = handler->decideBody(*request);
    } catch (const std::exception&) {
      // The head is read: this step must end in a state, or the body would be read as
      // header lines. Without a decision, the body is not read.
      decision.status = 503;
      decision.retryAfter = retryAfter;
    } catch (const MException&) {
      decision.status = 503;
      decision.retryAfter = retryAfter;
    }
    if (decision.status != 0) return refuse(decision.status, decision.retryAfter);
    std::string client = decision.client.getLength() > 0
                             ? decision.client.getValue()
                             : request->remoteAddress.toString().getValue();
    if (!getBodyPlaces().enter(this, client)) return refuse(503, retryAfter);
    int length = request->contentLength;
    if (length > maxMemoryBody && length < maxStoredBody) {
      std::unique_ptr<MBodySpool::Reservation> place;
      if (getBodySpool().reserve(client, length, bodyDirectory.getValue(), place) != MBodySpool::GRANTED)
        return refuse(503, retryAfter);
      request->setSpoolPlace(std::move(place));
    }
  }
  state = STATE_READ_CONTENT;
}

void MHttpProcessor::loseBodyPlace() {
  if (state != STATE_READ_CONTENT) return;
  request->dropBody(ETIMEDOUT);
  refuse(408);
}

void MHttpProcessor::keepPace(int _bytes) {
  // Never more than the slack ahead of the clock: early bytes earn no lasting credit.
  paceDue += (UInt64)_bytes * 1000000 / bodyRate;
  UInt64 limit = (now() + (UInt64)bodyPaceSlack) * 1000;
  if (paceDue > limit) paceDue = limit;
}

void MHttpProcessor::loseBody(int _error) {
  fprintf(stderr, "Cannot keep a request body in (%s): %s!\n", bodyDirectory.getValue(),
          strerror(_error));
  request->dropBody(_error);
}

void MHttpProcessor::process_readContent() try {
  int remaining = request->contentLength - contentRead;
  if (remaining <= 0) {
    if (places) places->leave(this);
    readFormBody();
    state = STATE_HTTP_REQUEST;
    return;
  }
  int n = remaining < maxTransfer ? remaining : maxTransfer;
  char* area = transferArea();
  n = interface->getInput()->readData(area, n);
  if (n <= 0) return;
  contentRead += n;
  keepPace(n);
  if (request->contentLength >= maxStoredBody || request->bodyError != 0) return;
  // The file is made with the first byte: a body announced but not sent costs no file.
  if (request->contentLength > maxMemoryBody && request->getContentFile() < 0) {
    int handle = openBodyFile();
    if (handle < 0) return loseBody(errno);
    request->setContentFile(handle);
  }
  if (request->getContentFile() < 0) {
    request->content.writeData(area, n);
  } else if (!writeAll(request->getContentFile(), area, n)) {
    loseBody(errno);
  } else if (request->getSpoolPlace() != nullptr) {
    request->getSpoolPlace()->wrote(n);
  }
} M_RETHROW("void MHttpProcessor::process_readContent()")

void MHttpProcessor::readFormBody() {
  if (strcmp(request->method.getValue(), "POST") != 0 || request->getContentFile() >= 0) return;
  MString type = request->getHeader("Content-Type");
  const char* media = "application/x-www-form-urlencoded";
  size_t length = strlen(media);
  const char* value = type.getValue();
  if (strncasecmp(value, media, length) != 0) return;
  if (value[length] != 0 && value[length] != ';' && !isBlank(value[length])) return;
  Int64 size = request->content.getWritePos();
  std::string body((size_t)size, '\0');
  if (size > 0) request->readContent(0, &body[0], (int)size);
  MHttpQuery::parse(body.c_str(), request->params, true);
}

void MHttpProcessor::process_httpRequest() try {
  response->version = request->version;
  for (const auto& header : standingHeaders) {
    response->headers.setObject(header.first.c_str(), header.second.c_str());
  }
  if (refusal != 0) {
    response->version = "HTTP/1.1";
    response->statusCode = refusal;
    response->statusText = refusalText(refusal);
    response->headers.setObject("Connection", "Close");
    if (refusal == 405) response->headers.setObject("Allow", "GET, POST, HEAD");
    if (refusalRetry > 0) response->headers.setObject("Retry-After", refusalRetry);
  } else {
    MObject* connection = request->headers.getObject("Connection");
    if (connection != nullptr) {
      MString value = connection->toString();
      if (value.getLength() > 0) response->headers.setObject("Connection", value.getValue());
    }
    event_httpRequest(*request, *response);
    if (response->later) {
      state = STATE_WAIT_RESPONSE;
      return;
    }
  }
  finishResponse();
} M_RETHROW("void MHttpProcessor::process_httpRequest()")

void MHttpProcessor::process_waitResponse() try {
  if (!response->later->isReady()) return;
  MLaterResponse::Finish finish = response->later->take();
  response->later.reset();
  if (finish && handler != nullptr) handler->finishRequest(finish, *request, *response);
  finishResponse();
} M_RETHROW("void MHttpProcessor::process_waitResponse()")

void MHttpProcessor::finishResponse() {
  response->contentLength = (int)response->content.getWritePos();
  response->headers.setObject("Content-Type", response->contentType.getValue());
  response->headers.setObject("Content-Length", response->contentLength);
  if (handler != nullptr) {
    UInt64 finished = getSteadyMicros();
    handler->noteAnswered(*request, *response, finished > answerStart ? finished - answerStart : 0);
  }
  state = STATE_WRITE_TYPE;
  process_writeType();
}

void MHttpProcessor::process_writeType() try {
  if (!pendingActive) {
    startPending(std::string(response->version.getValue()) + " " +
                 std::to_string(response->statusCode) + " " + response->statusText.getValue() +
                 "\r\n");
  }
  if (writePending()) state = STATE_WRITE_HEADERS;
} M_RETHROW("void MHttpProcessor::process_writeType()")

void MHttpProcessor::process_writeHeaders() try {
  if (!pendingActive) {
    std::string block;
    block.reserve(512);
    for (MItem* item = response->headers.getFirstItem(); item != nullptr;
         item = response->headers.getNextItem(item)) {
      appendText(block, item->key);
      block += ": ";
      appendText(block, item->object);
      block += "\r\n";
    }
    block += "\r\n";
    startPending(std::move(block));
  }
  // HEAD is answered with the headers of GET, its Content-Length included, and no body.
  if (writePending()) state = headOnly ? STATE_END_MESSAGE : STATE_WRITE_CONTENT;
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
  idleSince = now();
} M_RETHROW("void MHttpProcessor::process_endMessage()")
