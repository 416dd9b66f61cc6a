#include "lib/net/MLaterResponse.h"

#include <utility>

#include "lib/net/MWakeup.h"

MLaterResponse::MLaterResponse(MWakeup* _wakeup)
    : wakeup(_wakeup), ready(false), abandoned(false) {}

void MLaterResponse::complete(Finish _finish) {
  std::lock_guard<std::mutex> lock(mutex);
  if (abandoned || ready) return;
  finish = std::move(_finish);
  ready = true;
  // Under the lock: abandon, which the loop calls before the wake-up can go away, cannot
  // slip in between.
  if (wakeup != nullptr) wakeup->wake();
}

bool MLaterResponse::isAbandoned() {
  std::lock_guard<std::mutex> lock(mutex);
  return abandoned;
}

bool MLaterResponse::isReady() {
  std::lock_guard<std::mutex> lock(mutex);
  return ready;
}

MLaterResponse::Finish MLaterResponse::take() {
  std::lock_guard<std::mutex> lock(mutex);
  Finish taken;
  if (ready) std::swap(taken, finish);
  return taken;
}

void MLaterResponse::abandon() {
  Finish dropped;
  {
    std::lock_guard<std::mutex> lock(mutex);
    abandoned = true;
    wakeup = nullptr;
    std::swap(dropped, finish);
  }
  // What the last step holds goes outside the lock.
}
