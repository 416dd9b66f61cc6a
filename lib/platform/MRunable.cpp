#include "lib/platform/MRunable.h"

#include <system_error>

#include "lib/core/MException.h"

MRunable::MRunable() : running(false), finished(true) {}

MRunable::~MRunable() {
  if (thread.joinable()) {
    if (thread.get_id() == std::this_thread::get_id()) {
      thread.detach();
    } else {
      thread.join();
    }
  }
}

void MRunable::threadBody(MRunable* _object) {
  _object->init();
  _object->run();
  _object->done();
}

void MRunable::start() try {
  if (running) return;
  // A thread of an earlier start has ended (or is ending): collect it before the next.
  if (thread.joinable()) thread.join();
  finished = false;
  try {
    thread = std::thread(threadBody, this);
  } catch (const std::system_error&) {
    // Without a thread nothing would ever set finished again and a waiter would wait for
    // ever: report it instead.
    finished = true;
    throw MException("### THREAD ###", "The thread could not be started!");
  }
} M_RETHROW("void MRunable::start()")

void MRunable::stop() { running = false; }

void MRunable::init() {}

void MRunable::run() { running = true; }

void MRunable::done() { finished = true; }
