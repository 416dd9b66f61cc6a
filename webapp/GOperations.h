#ifndef VISTREL_GOPERATIONS_H
#define VISTREL_GOPERATIONS_H

#include <ctime>
#include <string>
#include <vector>

#include "lib/core/MString.h"
#include "lib/platform/MLogFile.h"
#include "webapp/GMetrics.h"

class GApplication;
class MHttpRequest;
class MHttpResponse;

// What administrators watch the server by: its counters for Prometheus (/metrics), its health
// for a load balancer or a monitor (/healthz), the access log and the login log.
//
// Configuration keys:
//   metrics.allow  client addresses (as the login throttle sees them: behind the configured
//                  proxy, the browser's) that may read /metrics, separated by blanks or
//                  commas; default "127.0.0.1 ::1". Others are answered 404, as is any
//                  request that names a forwarded address the server does not believe.
//   log.access     "file": <root>/log/access.log and <root>/log/login.log; "stdout": both
//                  to the standard output (the journal under systemd); "off" or absent:
//                  none. The files are opened again on SIGHUP (reopenLogs), for logrotate.
// The calls come from the server loop under the servlet's lock, except reopenLogs and the
// counting of GMetrics, which any thread may do.
class GOperations {
 public:
  GOperations();

  void configure(GApplication& _application);
  void reopenLogs();
  // Writes the lines the logs gathered (MLogFile); about once a second.
  void flushLogs();
  GMetrics& getMetrics() { return metrics; }

  // The kind a request is counted under.
  static GMetrics::Kind kindOf(MHttpRequest& _request);
  // Counts a complete answer and writes its access line (none for /healthz).
  void answered(MHttpRequest& _request, MHttpResponse& _response, uint64_t _micros);
  // Counts a decided login and writes the login line of a failure or a throttled one.
  void loginDecided(GMetrics::Login _outcome, const MString& _user, const MString& _client,
                    time_t _now);

  // Whether the request may read the metrics.
  bool mayReadMetrics(MHttpRequest& _request);
  // The figures of the moment: _known comes with what the caller knows (sessions, queues),
  // the rest is added here.
  GServerStatus status(GServerStatus _known, GApplication& _application);
  // Empty when the server is healthy, otherwise why not; looked at again at most once a
  // second.
  std::string unhealthyReason(GApplication& _application);

 private:
  GMetrics metrics;
  MLogFile accessLog;
  MLogFile loginLog;
  std::vector<std::string> allowed;
  double startTime;
  time_t healthCheckedAt = 0;
  // Answers per second of the last minute, in a ring by the second they fell in.
  struct Second {
    uint64_t second = 0;
    uint64_t answers = 0;
  };
  Second lastMinute[60];
  std::string healthReason;
};

#endif
