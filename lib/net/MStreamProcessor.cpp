#include "lib/net/MStreamProcessor.h"

#include <chrono>
#include <cstdio>

#include "lib/core/MException.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/net/MInterface.h"

MStreamProcessor::MStreamProcessor() : interface(nullptr), closeRequested(false), wakeup(nullptr) {}

MStreamProcessor::MStreamProcessor(MInterface* _interface)
    : interface(_interface), closeRequested(false), wakeup(nullptr) {}

MObject* MStreamProcessor::newObject() { return new MStreamProcessor(); }

bool MStreamProcessor::process() try {
  if (!canProcess()) return false;
  char data[10000];
  int n = interface->getInput()->readData(data, (int)sizeof data);
  for (int i = 0; i < n; ++i) putchar(data[i]);
  return true;
} M_RETHROW("bool MStreamProcessor::process()")

bool MStreamProcessor::canProcess() try {
  return interface != nullptr && interface->getInput() != nullptr &&
         interface->getOutput() != nullptr && interface->getInput()->getInputBytes() > 0 &&
         interface->getOutput()->getFreeSize() > 0;
} M_RETHROW("bool MStreamProcessor::canProcess()")

bool MStreamProcessor::isExpired(UInt64) { return false; }

UInt64 MStreamProcessor::clockMillis() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return (UInt64)std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

bool MStreamProcessor::canGiveWay(UInt64& _since) { return false; }
