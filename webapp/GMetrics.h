#ifndef VISTREL_GMETRICS_H
#define VISTREL_GMETRICS_H

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "views/GServerStatus.h"

// The server's counters, and their exposition in Prometheus' text format (version 0.0.4):
// every name starts with "vistrel_", counters end in "_total", times are in seconds and
// sizes in bytes. Counting is lock-free, so that the loop, the login worker and the upload
// workers may count at once; the figures of the moment (connections, sessions, queues, disk)
// are gathered by the caller and handed to render.
class GMetrics {
 public:
  // What a request was, by its address and its parameters.
  enum Kind { PAGE, ACTION, STATIC_FILE, PICTURE, UPLOAD, LINK_PAGE, SERVICE, KIND_COUNT };
  enum Login { LOGIN_SUCCEEDED, LOGIN_FAILED, LOGIN_THROTTLED, LOGIN_BUSY, LOGIN_COUNT };
  // Why an upload was refused before it was stored.
  enum Refusal { REFUSED_TOO_LARGE, REFUSED_BUSY, REFUSED_SLOW, REFUSED_INVALID, REFUSAL_COUNT };
  // Upper bounds of the answer-time buckets, in seconds.
  static const double buckets[];
  static const int bucketCount;

  using Queue = GServerStatus::Queue;
  using Gauges = GServerStatus;

  GMetrics();
  GMetrics(const GMetrics&) = delete;
  GMetrics& operator=(const GMetrics&) = delete;

  static const char* kindName(Kind _kind);

  void countAnswer(Kind _kind, int _status, uint64_t _micros);
  void countLogin(Login _outcome);
  void countUpload(uint64_t _bytes, uint64_t _micros);
  void countUploadRefused(Refusal _reason);
  void countLinkVisit();

  uint64_t getAnswers(Kind _kind, int _statusClass) const;
  uint64_t getLogins(Login _outcome) const;

  // The whole exposition: the counters of this object and the gauges.
  std::string render(const Gauges& _gauges) const;

 private:
  struct PerKind {
    // By status class 1xx..5xx (index 1..5; 0 for anything else).
    std::atomic<uint64_t> answers[6];
    // Cumulative, as Prometheus' histograms are, plus one for +Inf.
    std::atomic<uint64_t> buckets[16];
    std::atomic<uint64_t> micros;
  };
  PerKind kinds[KIND_COUNT];
  std::atomic<uint64_t> logins[LOGIN_COUNT];
  std::atomic<uint64_t> uploads;
  std::atomic<uint64_t> uploadBytes;
  std::atomic<uint64_t> uploadMicros;
  std::atomic<uint64_t> uploadRefusals[REFUSAL_COUNT];
  std::atomic<uint64_t> linkVisits;
};

#endif
