#ifndef VISTREL_MINTERFACE_H
#define VISTREL_MINTERFACE_H

#include "lib/core/MObject.h"

class MSocket;
class MRoundBuffer;
class MStreamProcessor;

// One connection of the server loop: its socket, the ring buffers in both directions and
// its protocol processor. The listening socket has an interface with only the socket set.
// The destructor deletes exactly those members whose owner is this interface.
//
// The loop also notes here when bytes last moved, so that connections whose client has gone
// quiet can be told apart from busy ones (times are readings of
// MStreamProcessor::clockMillis).
class MInterface : public MObject {
 public:
  // Size of each ring buffer of a client connection.
  static const int bufferSize = 40000;

  MInterface();
  // The listening socket's entry; the socket stays the caller's.
  explicit MInterface(MSocket* _socket);
  ~MInterface() override;
  MInterface(const MInterface&) = delete;
  MInterface& operator=(const MInterface&) = delete;

  MSocket* getSocket() { return socket; }
  MRoundBuffer* getInput() { return input; }
  MRoundBuffer* getOutput() { return output; }
  MStreamProcessor* getProcessor() { return processor; }
  void setSocket(MSocket* _socket) { socket = _socket; }
  void setInput(MRoundBuffer* _input) { input = _input; }
  void setOutput(MRoundBuffer* _output) { output = _output; }
  void setProcessor(MStreamProcessor* _processor) { processor = _processor; }

  UInt64 getLastReceive() const { return lastReceive; }
  UInt64 getLastSend() const { return lastSend; }
  // Since when output has been waiting without the client taking a byte; 0 when not.
  UInt64 getOutputBlockedSince() const { return outputBlockedSince; }
  void setLastReceive(UInt64 _time) { lastReceive = _time; }
  void setLastSend(UInt64 _time) { lastSend = _time; }
  void setOutputBlockedSince(UInt64 _time) { outputBlockedSince = _time; }
  // Since when the connection has been closing (its answer sent, its sending side shut,
  // what still arrives read and dropped); 0 when not.
  UInt64 getClosingSince() const { return closingSince; }
  void setClosingSince(UInt64 _time) { closingSince = _time; }

 private:
  MSocket* socket;
  MRoundBuffer* input;
  MRoundBuffer* output;
  MStreamProcessor* processor;
  UInt64 lastReceive;
  UInt64 lastSend;
  UInt64 outputBlockedSince;
  UInt64 closingSince;
};

#endif
