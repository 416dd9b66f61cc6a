#include "views/GStatusView.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "lib/core/MException.h"
#include "views/GApplication.h"
#include "views/GIds.h"
#include "views/GRights.h"
#include "views/GServerStatus.h"

namespace {

// "3 d 4 h", "4 h 5 min", "5 min 6 s": the two largest units of a duration.
std::string duration(long long _seconds) {
  if (_seconds < 0) _seconds = 0;
  long long days = _seconds / 86400, hours = _seconds / 3600 % 24, minutes = _seconds / 60 % 60;
  char text[64];
  if (days > 0) {
    snprintf(text, sizeof text, "%lld d %lld h", days, hours);
  } else if (hours > 0) {
    snprintf(text, sizeof text, "%lld h %lld min", hours, minutes);
  } else {
    snprintf(text, sizeof text, "%lld min %lld s", minutes, _seconds % 60);
  }
  return text;
}

// Bytes in the largest unit below which the number stays at least 1.
std::string bytes(long long _bytes) {
  if (_bytes < 0) return "?";
  const char* units[] = {"B", "KB", "MB", "GB", "TB"};
  double value = (double)_bytes;
  int unit = 0;
  while (value >= 1024 && unit < 4) {
    value /= 1024;
    unit++;
  }
  char text[32];
  snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

}  // namespace

bool GStatusView::process_request(GSession& _session, MTextStream& _out, MList& _params,
                                  MString& _contentType) try {
  switch (paramInt(_params, "page")) {
    case GIds::MODULE_SERVER_STATUS:
      frame_status(_session, _out, _params, _contentType);
      return true;
    default: return false;
  }
} M_RETHROW("bool GStatusView::process_request(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GStatusView::frame_status(GSession& _session, MTextStream& _out, MList& _params,
                               MString& _contentType) try {
  if (!GRights::maySeeServerStatus(_session)) return;
  _session.viewState.setObject("tab_main", GIds::MODULE_SERVER_STATUS);
  double now = std::chrono::duration<double>(
                   std::chrono::system_clock::now().time_since_epoch()).count();
  writeStatus(_session, _out, GApplication::get().getServerStatus(), now);
} M_RETHROW("void GStatusView::frame_status(GSession& _session,MTextStream& _out,MList& _params,MString& _contentType)")

void GStatusView::writeStatus(GSession& _session, MTextStream& _out,
                              const GServerStatus& _status, double _now) {
  GApplication& application = GApplication::get();
  auto text = [&](const char* _key) { return application.translate(_session, _key); };
  // The values are numbers and texts of the translation tables, which are HTML already.
  auto row = [&](const char* _key, const std::string& _value) {
    _out << "<TR><TH scope=\"row\" class=\"statusName\">" << text(_key)
         << "</TH><TD class=\"statusValue\">" << _value.c_str() << "</TD></TR>\n";
  };
  standardHead(_session, _out);
  _out << "<BODY class=\"status\">\n";
  _out << "<TABLE><TR class=\"pageTitle\"><TD>" << text("TITLE_SERVER_STATUS")
       << "</TD></TR></TABLE>\n<HR>\n";
  _out << "<TABLE class=\"statusTable\">\n";
  row("STATUS_UPTIME", _status.startTime > 0 ? duration((long long)(_now - _status.startTime)) : "?");
  std::string connections;
  int open = 0;
  for (const char* stage : {"idle", "reading", "working", "writing"}) {
    auto found = _status.connections.find(stage);
    int count = found != _status.connections.end() ? found->second : 0;
    open += count;
    connections += (connections.empty() ? "" : ", ") + std::to_string(count) + " " +
                   text((std::string("STATUS_STAGE_") + stage).c_str());
  }
  row("STATUS_CONNECTIONS", std::to_string(open) + " (" + connections + ")");
  std::string sessions;
  int all = 0;
  for (const auto& kind : _status.sessions) {
    all += kind.second;
    sessions += (sessions.empty() ? "" : ", ") + std::to_string(kind.second) + " " +
                text(("STATUS_SESSIONS_" + kind.first).c_str());
  }
  row("STATUS_SESSIONS", std::to_string(all) + " (" + sessions + ")");
  for (const GServerStatus::Queue& queue : _status.queues) {
    char waited[32];
    snprintf(waited, sizeof waited, "%.1f ms",
             queue.taken > 0 ? queue.waitedMicros / 1000.0 / (double)queue.taken : 0.0);
    row(("STATUS_QUEUE_" + queue.name).c_str(),
        std::to_string(queue.depth) + " / " + std::to_string(queue.capacity) + " (" +
            text("STATUS_AVERAGE_WAIT") + " " + waited + ")");
  }
  row("STATUS_REQUESTS_PER_MINUTE", std::to_string(_status.requestsLastMinute));
  row("STATUS_DISK_FREE", bytes(_status.freeDiskBytes));
  row("STATUS_MEMORY", bytes(_status.residentBytes));
  for (const auto& file : _status.records) {
    row(("STATUS_RECORDS_" + file.first).c_str(), std::to_string(file.second));
  }
  row("STATUS_LAST_BACKUP", text("STATUS_NO_BACKUP"));
  row("STATUS_VERSION", _status.version);
  _out << "</TABLE>\n</BODY>\n</HTML>\n";
}
