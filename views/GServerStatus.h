#ifndef VISTREL_GSERVERSTATUS_H
#define VISTREL_GSERVERSTATUS_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// The server's figures of the moment, as the metrics and the administration's status page
// show them; gathered by the request dispatch (webapp/GOperations).
struct GServerStatus {
  // A work queue as it stands: its depth, its room and how long the jobs taken from it
  // waited in all.
  struct Queue {
    std::string name;
    size_t depth = 0;
    size_t capacity = 0;
    uint64_t taken = 0;
    uint64_t waitedMicros = 0;
  };

  // Client connections by stage ("idle", "reading", "working", "writing").
  std::map<std::string, int> connections;
  // Sessions by kind ("guest_account", "ordinary", "privileged").
  std::vector<std::pair<std::string, int>> sessions;
  std::vector<Queue> queues;
  // Records in use by record file.
  std::vector<std::pair<std::string, int>> records;
  // Negative when unknown.
  long long freeDiskBytes = -1;
  long long residentBytes = -1;
  // Seconds since 1970.
  double startTime = 0;
  std::string version;
  // Requests answered in the last 60 seconds.
  uint64_t requestsLastMinute = 0;
};

#endif
