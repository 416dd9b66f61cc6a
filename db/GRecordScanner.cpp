#include "db/GRecordScanner.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {
// Window size aimed at: large enough that mapping costs vanish, small enough that a scan
// that stops early (the first free record) maps little.
const size_t kWindowBytes = 4 * 1024 * 1024;
// The pread pieces stay below the size from which malloc maps fresh pages for every buffer.
const int kPieceBytes = 64 * 1024;
const size_t kSmallFileBytes = 1024 * 1024;

size_t gcd(size_t _a, size_t _b) {
  while (_b != 0) {
    size_t t = _a % _b;
    _a = _b;
    _b = t;
  }
  return _a;
}
}  // namespace

GRecordScanner::GRecordScanner(GRecordFile& _file)
    : file(_file),
      recordSize(_file.getRecordSize()),
      total(_file.getRecordCount()),
      windowRecords(0),
      data(nullptr),
      mapping(nullptr),
      mappingSize(0),
      buffer(nullptr),
      first(0),
      available(0),
      position(0),
      index(-1) {
  // A window is a whole number of records and of pages, so the next one starts on both.
  size_t page = (size_t)sysconf(_SC_PAGESIZE);
  size_t unit = (size_t)recordSize / gcd((size_t)recordSize, page) * page;
  size_t units = kWindowBytes / unit;
  if (units < 1) units = 1;
  windowRecords = (int)(units * unit / (size_t)recordSize);
}

GRecordScanner::~GRecordScanner() {
  release();
  delete[] buffer;
}

void GRecordScanner::release() {
  if (mapping != nullptr) munmap(mapping, mappingSize);
  mapping = nullptr;
}

bool GRecordScanner::fill() {
  first += available;
  position = 0;
  available = 0;
  release();
  if (first >= total) return false;
  int count = total - first < windowRecords ? total - first : windowRecords;
  // Mapping a small file costs more than copying it.
  if (buffer == nullptr && (size_t)total * recordSize > kSmallFileBytes) {
    mappingSize = (size_t)count * recordSize;
    void* p = mmap(nullptr, mappingSize, PROT_READ, MAP_SHARED | MAP_POPULATE, file.getDescriptor(),
                   (off_t)first * recordSize);
    if (p != MAP_FAILED) {
      mapping = p;
      data = (const uchar*)p;
      available = count;
      return true;
    }
  }
  if (buffer == nullptr) {
    // A small file, or mapping refused (an unusual file system): read large pieces.
    int pieceRecords = kPieceBytes / recordSize;
    if (pieceRecords < 1) pieceRecords = 1;
    windowRecords = pieceRecords;
    buffer = new uchar[(size_t)pieceRecords * recordSize];
    if (count > windowRecords) count = windowRecords;
  }
  available = file.readRecords(first, buffer, count);
  data = buffer;
  return available > 0;
}
