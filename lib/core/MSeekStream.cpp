#include "lib/core/MSeekStream.h"

#include "lib/core/MException.h"

Int64 MSeekStream::getMaxSize() {
  throw MException("Int64 MSeekStream::getMaxSize()", "Operation failed!");
}

Int64 MSeekStream::setWritePos(Int64) {
  throw MException("Int64 MSeekStream::setWritePos(Int64 _pos)", "Operation failed!");
}

Int64 MSeekStream::setReadPos(Int64) {
  throw MException("Int64 MSeekStream::setReadPos(Int64 _pos)", "Operation failed!");
}

Int64 MSeekStream::getReadPos() {
  throw MException("Int64 MSeekStream::getReadPos()", "Operation failed!");
}

Int64 MSeekStream::getWritePos() {
  throw MException("Int64 MSeekStream::getWritePos()", "Operation failed!");
}
