#include "webapp/GOperations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "db/GDatabase.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/platform/MClock.h"
#include "views/GApplication.h"
#include "views/GIds.h"
#include "views/GInfoView.h"
#include "views/GView.h"
#include "webapp/GAccessLog.h"
#include "webapp/GClientAddress.h"

namespace {

const char* const defaultAllowed = "127.0.0.1 ::1";
const char* const healthPath = "/healthz";
const char* const metricsPath = "/metrics";

std::vector<std::string> addressList(const char* _text) {
  std::vector<std::string> addresses;
  std::string current;
  for (const char* p = _text;; ++p) {
    if (*p == 0 || *p == ' ' || *p == ',' || *p == '\t') {
      if (!current.empty()) addresses.push_back(current);
      current.clear();
      if (*p == 0) break;
    } else {
      current += *p;
    }
  }
  return addresses;
}

// Writes and removes a small file in _directory: whether the server can still store there.
bool canWriteIn(const std::string& _directory) {
  std::string probe = _directory + "/.healthz";
  int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool written = write(fd, "1", 1) == 1;
  close(fd);
  unlink(probe.c_str());
  return written;
}

long long residentBytes() {
  FILE* statm = fopen("/proc/self/statm", "r");
  if (statm == nullptr) return -1;
  long long size = 0, resident = -1;
  if (fscanf(statm, "%lld %lld", &size, &resident) != 2) resident = -1;
  fclose(statm);
  return resident < 0 ? -1 : resident * sysconf(_SC_PAGESIZE);
}

}  // namespace

GOperations::GOperations()
    : allowed(addressList(defaultAllowed)),
      startTime(std::chrono::duration<double>(
                    std::chrono::system_clock::now().time_since_epoch())
                    .count()) {}

void GOperations::configure(GApplication& _application) {
  MString allow = _application.getMetricsAllow();
  allowed = addressList(allow.getLength() > 0 ? allow.getValue() : defaultAllowed);
  MString target = _application.getAccessLogTarget();
  if (target == "stdout") {
    accessLog.toStandardOutput();
    loginLog.toStandardOutput();
  } else if (target == "file") {
    std::string directory = std::string(_application.getDirectory().getValue()) + "/log";
    mkdir(directory.c_str(), 0750);
    if (!accessLog.toFile(directory + "/access.log") || !loginLog.toFile(directory + "/login.log")) {
      fprintf(stderr, "The logs under (%s) cannot be opened: no access log is written!\n",
              directory.c_str());
    }
  } else {
    accessLog.close();
    loginLog.close();
  }
}

void GOperations::reopenLogs() {
  accessLog.reopen();
  loginLog.reopen();
}

void GOperations::flushLogs() {
  accessLog.flush();
  loginLog.flush();
}

GMetrics::Kind GOperations::kindOf(MHttpRequest& _request) {
  const MString& path = _request.path;
  if (path == healthPath || path == metricsPath) return GMetrics::SERVICE;
  if (strncmp(path.getValue(), "/s/", 3) == 0) return GMetrics::LINK_PAGE;
  if (path == "/") {
    MString action = GView::paramText(_request.params, "action");
    if (action.getLength() > 0) {
      return atoi(action.getValue()) == GIds::ACTION_UPLOAD_IMAGE ? GMetrics::UPLOAD
                                                                   : GMetrics::ACTION;
    }
    MString page = GView::paramText(_request.params, "page");
    if (page.getLength() > 0 && GInfoView::isImageFile(atoi(page.getValue()))) {
      return GMetrics::PICTURE;
    }
    return GMetrics::PAGE;
  }
  if (strncmp(path.getValue(), "/images/", 8) == 0) return GMetrics::PICTURE;
  return GMetrics::STATIC_FILE;
}

void GOperations::answered(MHttpRequest& _request, MHttpResponse& _response, uint64_t _micros) {
  GMetrics::Kind kind = kindOf(_request);
  int status = _response.statusCode;
  metrics.countAnswer(kind, status, _micros);
  uint64_t now = getSteadyMicros() / 1000000;
  Second& second = lastMinute[now % 60];
  if (second.second != now) second = Second{now, 0};
  second.answers++;
  if (kind == GMetrics::UPLOAD) {
    if (status == 413) {
      metrics.countUploadRefused(GMetrics::REFUSED_TOO_LARGE);
    } else if (status == 503) {
      metrics.countUploadRefused(GMetrics::REFUSED_BUSY);
    } else if (status == 408) {
      metrics.countUploadRefused(GMetrics::REFUSED_SLOW);
    } else if (status < 400) {
      metrics.countUpload((uint64_t)(_request.contentLength > 0 ? _request.contentLength : 0),
                          _micros);
    }
  }
  if (_request.path == healthPath || !accessLog.isOn()) return;
  GAccessLog::Entry entry;
  entry.client = GClientAddress::of(_request).getValue();
  entry.time = time(nullptr);
  entry.method = _request.method.getValue();
  entry.target = _request.url.getValue();
  entry.version = _request.version.getValue();
  entry.status = status;
  entry.bytes = _request.method == "HEAD" ? 0 : _response.contentLength;
  entry.referer = _request.getHeader("Referer").getValue();
  entry.userAgent = _request.getHeader("User-Agent").getValue();
  entry.micros = _micros;
  accessLog.write(GAccessLog::accessLine(entry));
}

void GOperations::loginDecided(GMetrics::Login _outcome, const MString& _user,
                               const MString& _client, time_t _now) {
  metrics.countLogin(_outcome);
  const char* what = _outcome == GMetrics::LOGIN_FAILED      ? "failed"
                     : _outcome == GMetrics::LOGIN_THROTTLED ? "throttled"
                                                             : nullptr;
  if (what != nullptr) {
    loginLog.write(GAccessLog::loginLine(_now, what, _user.getValue(), _client.getValue()));
  }
}

bool GOperations::mayReadMetrics(MHttpRequest& _request) {
  // A forwarded request from a proxy the server does not believe would pass as the proxy's
  // own (usually the loopback address).
  if (_request.getHeader("X-Forwarded-For").getLength() > 0 && !GClientAddress::fromProxy(_request))
    return false;
  std::string client = GClientAddress::of(_request).getValue();
  for (const std::string& address : allowed) {
    if (address == client) return true;
  }
  return false;
}

GServerStatus GOperations::status(GServerStatus _gauges, GApplication& _application) {
  _gauges.connections = _application.getConnectionStages();
  _gauges.records = _application.getDatabase().getRecordCounts();
  struct statvfs disk;
  if (statvfs(_application.getDirectory().getValue(), &disk) == 0) {
    _gauges.freeDiskBytes = (long long)disk.f_bavail * (long long)disk.f_frsize;
  }
  _gauges.residentBytes = residentBytes();
  _gauges.startTime = startTime;
  _gauges.version = "1.0";
  uint64_t now = getSteadyMicros() / 1000000;
  for (const Second& second : lastMinute) {
    if (second.second + 60 > now) _gauges.requestsLastMinute += second.answers;
  }
  return _gauges;
}

std::string GOperations::unhealthyReason(GApplication& _application) {
  time_t now = time(nullptr);
  if (healthCheckedAt != 0 && now == healthCheckedAt) return healthReason;
  healthCheckedAt = now;
  std::string root = _application.getDirectory().getValue();
  if (!canWriteIn(root + "/database")) {
    healthReason = "the database directory cannot be written";
  } else if (!canWriteIn(root + "/images")) {
    healthReason = "the image store cannot be written";
  } else {
    healthReason.clear();
  }
  return healthReason;
}
