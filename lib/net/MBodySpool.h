#ifndef VISTREL_MBODYSPOOL_H
#define VISTREL_MBODYSPOOL_H

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "lib/core/MTypes.h"

// The files of large request bodies on disk (MHttpProcessor keeps bodies above its memory
// limit in files), counted so that nobody can fill the disk with them. A body takes its
// place from its announced length before any of it is read, and gets it only when
//   - the bodies on disk or under way, it included, stay within the budget (bytes at once);
//   - its client has fewer than perClient bodies on disk or under way;
//   - the body directory keeps at least `reserve` bytes free once it and the rest of the
//     bodies under way are written (statvfs on the directory).
// The place is given back when its Reservation goes, with the request that holds the body's
// file, on whatever thread that happens; the counts are guarded by a mutex. Made with
// std::make_shared: a Reservation keeps its spool alive.
class MBodySpool : public std::enable_shared_from_this<MBodySpool> {
 public:
  // Ten bodies of the largest size that is kept (MHttpProcessor::maxStoredBody).
  static constexpr Int64 defaultBudget = 200000000;
  // Room for the pictures being stored, the previews and the record files.
  static constexpr Int64 defaultReserve = 100000000;
  static constexpr int defaultPerClient = 4;

  enum Outcome { GRANTED, OVER_BUDGET, CLIENT_LIMIT, LOW_SPACE };

  // One body's place; gives it back when it goes.
  class Reservation {
   public:
    ~Reservation();
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;
    // _bytes more of the body are on disk: no longer counted as still to come.
    void wrote(Int64 _bytes);

   private:
    friend class MBodySpool;
    Reservation(std::shared_ptr<MBodySpool> _spool, const std::string& _client, Int64 _length);
    std::shared_ptr<MBodySpool> spool;
    std::string client;
    Int64 length;
    Int64 written;
  };

  MBodySpool();
  MBodySpool(const MBodySpool&) = delete;
  MBodySpool& operator=(const MBodySpool&) = delete;

  // A budget or reserve below 0 counts as 0, perClient below 1 as 1.
  void setLimits(Int64 _budget, Int64 _reserve, int _perClient);
  Int64 getBudget();
  Int64 getReserve();
  // Takes a place for a body of _length bytes from _client, to be written under
  // _directory; with GRANTED, _reservation holds it.
  Outcome reserve(const std::string& _client, Int64 _length, const char* _directory,
                  std::unique_ptr<Reservation>& _reservation);
  // Bodies and bytes holding places now.
  int getBodies();
  Int64 getReservedBytes();
  // Bytes the unprivileged may still write under a directory; -1 when that cannot be
  // told. statvfs unless replaced (tests).
  std::function<Int64(const char* _directory)> freeSpace;

 private:
  void release(Reservation& _reservation);
  void written(Int64 _bytes);

  std::mutex mutex;
  Int64 budget;
  Int64 reserveBytes;
  int perClient;
  Int64 reserved;
  // Bytes announced but not yet on disk, of every body under way.
  Int64 pending;
  int bodies;
  std::unordered_map<std::string, int> clients;
};

#endif
