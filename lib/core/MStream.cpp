#include "lib/core/MStream.h"

#include "lib/core/MException.h"

int MStream::readData(void*, int) {
  throw MException("int MStream::readData(void *_value,int _size)", "Operation failed!");
}

int MStream::writeData(void*, int) {
  throw MException("int MStream::writeData(void *_value,int _size)", "Operation failed!");
}

int MStream::findByte(uchar, int) {
  throw MException("int MStream::findByte(uchar _ch,int _maxDistance)", "Operation failed!");
}

uchar MStream::getNextByte() {
  throw MException("uchar MStream::getNextByte()", "Operation failed!");
}

bool MStream::isClosed() {
  throw MException("bool MStream::isClosed()", "Operation failed!");
}
