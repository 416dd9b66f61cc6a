// Feeds arbitrary bytes to the HTTP processor in pieces whose sizes come from the input, the
// way a client's packets would arrive, and drives it as the server loop does. Sanitizers
// report any bad memory use; the checks below catch a processor that stalls, keeps a body
// file open, or hands on a request that the strict framing should have refused.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <dirent.h>

#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MHttpHandler.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MInterface.h"

namespace {

// Answers from what the request carries, and fails now and then, as a servlet may.
class FuzzHandler : public MHttpHandler {
 public:
  int calls = 0;
  void event_httpRequest(MHttpRequest& _request, MHttpResponse& _response) override {
    ++calls;
    // Only these methods reach the handler, with a body of exactly the announced length.
    const char* method = _request.method.getValue();
    if (strcmp(method, "GET") != 0 && strcmp(method, "POST") != 0 && strcmp(method, "HEAD") != 0)
      abort();
    if (_request.contentLength < 0) abort();
    if (_request.contentLength < MHttpProcessor::maxStoredBody &&
        _request.getContentSize() != _request.contentLength)
      abort();
    if ((_request.getContentFile() >= 0) != (_request.contentLength > MHttpProcessor::maxMemoryBody &&
                                             _request.contentLength < MHttpProcessor::maxStoredBody))
      abort();
    for (MItem* item = _request.headers.getFirstItem(); item != nullptr;
         item = _request.headers.getNextItem(item)) {
      MString name = item->key->toString();
      if (name.getLength() == 0 || strpbrk(name.getValue(), " \t") != nullptr) abort();
      if (strcasecmp(name.getValue(), "Transfer-Encoding") == 0) abort();
    }
    if (_request.path == "/fail" && calls % 2 == 1) throw MException("### FUZZ ###", "failing on purpose");
    MObject* size = _request.params.getObject("n");
    int n = size != nullptr ? atoi(size->toString().getValue()) % 100000 : 3;
    if (n < 0) n = -n;
    char chunk[1000];
    memset(chunk, 'x', sizeof chunk);
    for (int done = 0; done < n; done += (int)sizeof chunk) {
      int part = n - done < (int)sizeof chunk ? n - done : (int)sizeof chunk;
      _response.content.writeData(chunk, part);
    }
    MObject* header = _request.params.getObject("h");
    if (header != nullptr) _response.headers.setObject("X-Echo", header->toString().getValue());
    if (_request.path == "/close") _response.headers.setObject("Connection", "close");
  }
};

// The open files of the process, to find a body file that outlived its request.
int openFiles() {
  int count = 0;
  DIR* directory = opendir("/proc/self/fd");
  if (directory == nullptr) return -1;
  while (readdir(directory) != nullptr) ++count;
  closedir(directory);
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* _data, size_t _size) {
  int filesBefore = openFiles();
  FuzzHandler handler;
  {
    MInterface connection;
    MRoundBuffer* input = new MRoundBuffer(MInterface::bufferSize);
    input->setOwner(&connection);
    connection.setInput(input);
    MRoundBuffer* output = new MRoundBuffer(MInterface::bufferSize);
    output->setOwner(&connection);
    connection.setOutput(output);
    MHttpProcessor* processor = new MHttpProcessor(&connection);
    processor->setHandler(&handler);
    processor->setOwner(&connection);
    connection.setProcessor(processor);

    size_t pos = 0;
    char sink[8192];
    int idleRounds = 0;
    while (idleRounds < 3) {
      bool moved = false;
      if (pos < _size) {
        // The first byte of each piece gives its length.
        size_t piece = 1 + _data[pos++] % 64;
        if (piece > _size - pos) piece = _size - pos;
        if ((Int64)piece > input->getFreeSize()) piece = (size_t)input->getFreeSize();
        if (piece > 0) input->writeData((void*)(_data + pos), (int)piece);
        pos += piece;
        moved = true;
      }
      for (int step = 0; step < 1000; ++step) {
        bool progress = false;
        try {
          progress = processor->process();
        } catch (const MException&) {
        }
        if (!progress) break;
        moved = true;
      }
      while (output->readData(sink, sizeof sink) > 0) moved = true;
      idleRounds = moved ? 0 : idleRounds + 1;
    }
    // Every step is bounded: with all input given and all output taken, a processor that is
    // not waiting for more input must have finished.
    int state = processor->getState();
    if (!processor->isCloseRequested() && state > MHttpProcessor::STATE_READ_CONTENT &&
        !(state == MHttpProcessor::STATE_HTTP_REQUEST && handler.calls % 2 == 1))
      abort();
  }
  if (openFiles() != filesBefore) abort();
  return 0;
}
