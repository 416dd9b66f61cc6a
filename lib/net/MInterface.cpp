#include "lib/net/MInterface.h"

#include "lib/core/MRoundBuffer.h"
#include "lib/net/MSocket.h"
#include "lib/net/MStreamProcessor.h"

MInterface::MInterface()
    : socket(nullptr),
      input(nullptr),
      output(nullptr),
      processor(nullptr),
      lastReceive(0),
      lastSend(0),
      outputBlockedSince(0),
      closingSince(0) {}

MInterface::MInterface(MSocket* _socket) : MInterface() { socket = _socket; }

MInterface::~MInterface() {
  // The processor first: it may still refer to the buffers while it lets go of a request.
  if (processor != nullptr && processor->getOwner() == this) delete processor;
  if (input != nullptr && input->getOwner() == this) delete input;
  if (output != nullptr && output->getOwner() == this) delete output;
  if (socket != nullptr && socket->getOwner() == this) delete socket;
}
