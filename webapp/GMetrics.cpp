#include "webapp/GMetrics.h"

#include <cinttypes>
#include <cstdio>

namespace {

const char* const kindNames[GMetrics::KIND_COUNT] = {
    "page", "action", "static_file", "picture", "upload", "link_page", "service"};
const char* const loginNames[GMetrics::LOGIN_COUNT] = {"succeeded", "failed", "throttled",
                                                       "busy"};
const char* const refusalNames[GMetrics::REFUSAL_COUNT] = {"too_large", "busy", "slow",
                                                           "invalid"};

// One family's HELP and TYPE lines.
void family(std::string& _out, const char* _name, const char* _type, const char* _help) {
  _out += "# HELP ";
  _out += _name;
  _out += ' ';
  _out += _help;
  _out += "\n# TYPE ";
  _out += _name;
  _out += ' ';
  _out += _type;
  _out += '\n';
}

// A label value with the characters the format escapes escaped.
std::string labelValue(const std::string& _value) {
  std::string escaped;
  for (char c : _value) {
    if (c == '\\' || c == '"') escaped += '\\';
    if (c == '\n') {
      escaped += "\\n";
      continue;
    }
    escaped += c;
  }
  return escaped;
}

void sample(std::string& _out, const char* _name, const std::string& _labels, double _value) {
  char number[64];
  snprintf(number, sizeof number, "%.17g", _value);
  _out += _name;
  if (!_labels.empty()) {
    _out += '{';
    _out += _labels;
    _out += '}';
  }
  _out += ' ';
  _out += number;
  _out += '\n';
}

void sample(std::string& _out, const char* _name, const std::string& _labels, uint64_t _value) {
  _out += _name;
  if (!_labels.empty()) {
    _out += '{';
    _out += _labels;
    _out += '}';
  }
  _out += ' ';
  _out += std::to_string(_value);
  _out += '\n';
}

std::string label(const char* _name, const std::string& _value) {
  return std::string(_name) + "=\"" + labelValue(_value) + "\"";
}

}  // namespace

const double GMetrics::buckets[] = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                    0.1,    0.25,  0.5,    1,     2.5,  5,     10};
const int GMetrics::bucketCount = sizeof buckets / sizeof buckets[0];

GMetrics::GMetrics() : uploads(0), uploadBytes(0), uploadMicros(0), linkVisits(0) {
  for (PerKind& kind : kinds) {
    for (auto& count : kind.answers) count = 0;
    for (auto& count : kind.buckets) count = 0;
    kind.micros = 0;
  }
  for (auto& count : logins) count = 0;
  for (auto& count : uploadRefusals) count = 0;
}

const char* GMetrics::kindName(Kind _kind) {
  return _kind >= 0 && _kind < KIND_COUNT ? kindNames[_kind] : "";
}

void GMetrics::countAnswer(Kind _kind, int _status, uint64_t _micros) {
  if (_kind < 0 || _kind >= KIND_COUNT) return;
  PerKind& kind = kinds[_kind];
  int statusClass = _status / 100;
  kind.answers[statusClass >= 1 && statusClass <= 5 ? statusClass : 0]++;
  int bucket = 0;
  while (bucket < bucketCount && (double)_micros > buckets[bucket] * 1e6) ++bucket;
  kind.buckets[bucket]++;
  kind.micros += _micros;
}

void GMetrics::countLogin(Login _outcome) {
  if (_outcome >= 0 && _outcome < LOGIN_COUNT) logins[_outcome]++;
}

void GMetrics::countUpload(uint64_t _bytes, uint64_t _micros) {
  uploads++;
  uploadBytes += _bytes;
  uploadMicros += _micros;
}

void GMetrics::countUploadRefused(Refusal _reason) {
  if (_reason >= 0 && _reason < REFUSAL_COUNT) uploadRefusals[_reason]++;
}

void GMetrics::countLinkVisit() { linkVisits++; }

uint64_t GMetrics::getAnswers(Kind _kind, int _statusClass) const {
  if (_kind < 0 || _kind >= KIND_COUNT || _statusClass < 0 || _statusClass > 5) return 0;
  return kinds[_kind].answers[_statusClass];
}

uint64_t GMetrics::getLogins(Login _outcome) const {
  return _outcome >= 0 && _outcome < LOGIN_COUNT ? logins[_outcome].load() : 0;
}

std::string GMetrics::render(const Gauges& _gauges) const {
  std::string out;
  out.reserve(16384);

  family(out, "vistrel_requests_total", "counter",
         "Requests answered, by kind and status class.");
  for (int k = 0; k < KIND_COUNT; ++k) {
    for (int c = 0; c <= 5; ++c) {
      // Only the classes that occur, 2xx always, so that every kind has its series.
      uint64_t count = kinds[k].answers[c];
      if (count == 0 && c != 2) continue;
      std::string statusClass = c == 0 ? "other" : std::to_string(c) + "xx";
      sample(out, "vistrel_requests_total",
             label("kind", kindNames[k]) + "," + label("code", statusClass), count);
    }
  }

  family(out, "vistrel_request_duration_seconds", "histogram",
         "Time from a request's first line to its complete answer, by kind.");
  for (int k = 0; k < KIND_COUNT; ++k) {
    uint64_t cumulative = 0;
    std::string kind = label("kind", kindNames[k]);
    for (int b = 0; b <= bucketCount; ++b) {
      cumulative += kinds[k].buckets[b];
      char bound[32];
      if (b < bucketCount) {
        snprintf(bound, sizeof bound, "%g", buckets[b]);
      } else {
        snprintf(bound, sizeof bound, "+Inf");
      }
      sample(out, "vistrel_request_duration_seconds_bucket", kind + "," + label("le", bound),
             cumulative);
    }
    sample(out, "vistrel_request_duration_seconds_sum", kind, kinds[k].micros / 1e6);
    sample(out, "vistrel_request_duration_seconds_count", kind, cumulative);
  }

  family(out, "vistrel_logins_total", "counter", "Logins by outcome.");
  for (int o = 0; o < LOGIN_COUNT; ++o) {
    sample(out, "vistrel_logins_total", label("outcome", loginNames[o]), logins[o].load());
  }

  family(out, "vistrel_uploads_total", "counter", "Uploads stored.");
  sample(out, "vistrel_uploads_total", "", uploads.load());
  family(out, "vistrel_upload_bytes_total", "counter", "Bytes of the uploads stored.");
  sample(out, "vistrel_upload_bytes_total", "", uploadBytes.load());
  family(out, "vistrel_upload_seconds_total", "counter",
         "Time spent on the uploads stored, from request line to answer.");
  sample(out, "vistrel_upload_seconds_total", "", uploadMicros / 1e6);
  family(out, "vistrel_uploads_refused_total", "counter", "Uploads refused, by reason.");
  for (int r = 0; r < REFUSAL_COUNT; ++r) {
    sample(out, "vistrel_uploads_refused_total", label("reason", refusalNames[r]),
           uploadRefusals[r].load());
  }

  family(out, "vistrel_link_visits_total", "counter", "Pages of shared links opened.");
  sample(out, "vistrel_link_visits_total", "", linkVisits.load());

  family(out, "vistrel_connections", "gauge", "Open client connections by stage.");
  for (const char* stage : {"idle", "reading", "working", "writing"}) {
    auto found = _gauges.connections.find(stage);
    sample(out, "vistrel_connections", label("stage", stage),
           (uint64_t)(found != _gauges.connections.end() ? found->second : 0));
  }

  family(out, "vistrel_sessions", "gauge", "Sessions by kind.");
  for (const auto& kind : _gauges.sessions) {
    sample(out, "vistrel_sessions", label("kind", kind.first), (uint64_t)kind.second);
  }

  family(out, "vistrel_queue_depth", "gauge", "Jobs waiting in a work queue.");
  for (const Queue& queue : _gauges.queues) {
    sample(out, "vistrel_queue_depth", label("queue", queue.name), (uint64_t)queue.depth);
  }
  family(out, "vistrel_queue_capacity", "gauge", "Room of a work queue.");
  for (const Queue& queue : _gauges.queues) {
    sample(out, "vistrel_queue_capacity", label("queue", queue.name), (uint64_t)queue.capacity);
  }
  family(out, "vistrel_queue_wait_seconds", "summary",
         "Time the jobs taken from a work queue waited in it.");
  for (const Queue& queue : _gauges.queues) {
    std::string name = label("queue", queue.name);
    sample(out, "vistrel_queue_wait_seconds_sum", name, queue.waitedMicros / 1e6);
    sample(out, "vistrel_queue_wait_seconds_count", name, queue.taken);
  }

  family(out, "vistrel_records", "gauge", "Records in use, by record file.");
  for (const auto& file : _gauges.records) {
    sample(out, "vistrel_records", label("file", file.first), (uint64_t)file.second);
  }

  if (_gauges.freeDiskBytes >= 0) {
    family(out, "vistrel_root_free_bytes", "gauge",
           "Free bytes of the file system of the root directory.");
    sample(out, "vistrel_root_free_bytes", "", (uint64_t)_gauges.freeDiskBytes);
  }
  if (_gauges.residentBytes >= 0) {
    family(out, "vistrel_process_resident_memory_bytes", "gauge", "Resident memory.");
    sample(out, "vistrel_process_resident_memory_bytes", "", (uint64_t)_gauges.residentBytes);
  }
  family(out, "vistrel_process_start_time_seconds", "gauge",
         "Start of the process, seconds since 1970.");
  sample(out, "vistrel_process_start_time_seconds", "", _gauges.startTime);
  family(out, "vistrel_build_info", "gauge", "The server's version; always 1.");
  sample(out, "vistrel_build_info", label("version", _gauges.version), (uint64_t)1);
  return out;
}
