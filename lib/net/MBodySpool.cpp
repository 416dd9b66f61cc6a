#include "lib/net/MBodySpool.h"

#include <sys/statvfs.h>

namespace {

Int64 statvfsFree(const char* _directory) {
  struct statvfs info;
  if (_directory == nullptr || statvfs(_directory, &info) != 0) return -1;
  return (Int64)info.f_bavail * (Int64)info.f_frsize;
}

}  // namespace

MBodySpool::Reservation::Reservation(std::shared_ptr<MBodySpool> _spool, const std::string& _client,
                                     Int64 _length)
    : spool(std::move(_spool)), client(_client), length(_length), written(0) {}

MBodySpool::Reservation::~Reservation() { spool->release(*this); }

void MBodySpool::Reservation::wrote(Int64 _bytes) {
  // Only what was announced was counted as to come.
  if (_bytes > length - written) _bytes = length - written;
  if (_bytes <= 0) return;
  written += _bytes;
  spool->written(_bytes);
}

MBodySpool::MBodySpool()
    : freeSpace(statvfsFree),
      budget(defaultBudget),
      reserveBytes(defaultReserve),
      perClient(defaultPerClient),
      reserved(0),
      pending(0),
      bodies(0) {}

void MBodySpool::setLimits(Int64 _budget, Int64 _reserve, int _perClient) {
  std::lock_guard<std::mutex> lock(mutex);
  budget = _budget > 0 ? _budget : 0;
  reserveBytes = _reserve > 0 ? _reserve : 0;
  perClient = _perClient > 1 ? _perClient : 1;
}

Int64 MBodySpool::getBudget() {
  std::lock_guard<std::mutex> lock(mutex);
  return budget;
}

Int64 MBodySpool::getReserve() {
  std::lock_guard<std::mutex> lock(mutex);
  return reserveBytes;
}

MBodySpool::Outcome MBodySpool::reserve(const std::string& _client, Int64 _length,
                                        const char* _directory,
                                        std::unique_ptr<Reservation>& _reservation) {
  // Asked outside the lock: statvfs may wait for the disk.
  Int64 free = freeSpace ? freeSpace(_directory) : -1;
  std::lock_guard<std::mutex> lock(mutex);
  if (reserved + _length > budget) return OVER_BUDGET;
  auto client = clients.find(_client);
  if (client != clients.end() && client->second >= perClient) return CLIENT_LIMIT;
  if (free >= 0 && free - pending - _length < reserveBytes) return LOW_SPACE;
  reserved += _length;
  pending += _length;
  ++bodies;
  ++clients[_client];
  _reservation.reset(new Reservation(shared_from_this(), _client, _length));
  return GRANTED;
}

int MBodySpool::getBodies() {
  std::lock_guard<std::mutex> lock(mutex);
  return bodies;
}

Int64 MBodySpool::getReservedBytes() {
  std::lock_guard<std::mutex> lock(mutex);
  return reserved;
}

void MBodySpool::written(Int64 _bytes) {
  std::lock_guard<std::mutex> lock(mutex);
  pending -= _bytes;
}

void MBodySpool::release(Reservation& _reservation) {
  std::lock_guard<std::mutex> lock(mutex);
  reserved -= _reservation.length;
  pending -= _reservation.length - _reservation.written;
  --bodies;
  auto client = clients.find(_reservation.client);
  if (client != clients.end() && --client->second <= 0) clients.erase(client);
}
