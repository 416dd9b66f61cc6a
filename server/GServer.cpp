#include "server/GServer.h"

#include "lib/core/MException.h"
#include "lib/platform/MClock.h"

GServer::GServer()
    : port(9400),
      sessionTimeout(0),
      serverTitle("Vistrel 1.0"),
      originalMaxSize(0),
      preview1Quality(0),
      preview2Quality(0),
      requestCounter(0),
      stopRequested(false) {}

GServer::~GServer() {}

void GServer::configure(const char* _dir) try {
  directory = _dir;
} M_RETHROW("void GServer::configure(char *_dir)")

void GServer::start() try {
  MRunable::start();
} M_RETHROW("void GServer::start()")

void GServer::stop() try {
  stopRequested = true;
  running = false;
} M_RETHROW("void GServer::stop()")

void GServer::init() {}

void GServer::run() try {
  running = true;
  // Short steps keep the end of the process within about a second of a stop.
  while (running && !stopRequested) sleepFor(0, 100);
} M_RETHROW("void GServer::run()")

void GServer::done() { finished = true; }

void GServer::adminThread() {}

int GServer::nextRequestId() {
  // Wraps like the signed 32-bit counter it is, without undefined overflow.
  requestCounter = (int)((uint)requestCounter + 1u);
  return requestCounter;
}

GServer& GServer::instance() {
  static GServer instance;
  return instance;
}
