#include "db/GRecordScanner.h"

#include <cstring>

namespace {
const int kPieceBytes = 256 * 1024;
const int kSlack = 64;
}  // namespace

GRecordScanner::GRecordScanner(GRecordFile& _file)
    : file(_file),
      recordSize(_file.getRecordSize()),
      capacity(0),
      buffer(nullptr),
      first(0),
      available(0),
      position(0),
      index(-1) {
  int records = _file.getRecordCount();
  capacity = kPieceBytes / recordSize;
  if (capacity < 1) capacity = 1;
  // A small file gets a buffer of its own size (plus one record for a growing file).
  if (records + 1 < capacity) capacity = records + 1;
  size_t bytes = (size_t)capacity * recordSize + kSlack;
  buffer = new uchar[bytes];
  memset(buffer + bytes - kSlack, 0, kSlack);
}

GRecordScanner::~GRecordScanner() { delete[] buffer; }

bool GRecordScanner::fill() {
  first += available;
  position = 0;
  available = file.readRecords(first, buffer, capacity);
  return available > 0;
}
