#ifndef VISTREL_GSTATUSVIEW_H
#define VISTREL_GSTATUSVIEW_H

#include "views/GView.h"

struct GServerStatus;

// The administration's view of the server itself: how long it has been running, its
// connections, sessions and work queues, the requests of the last minute, the free disk of
// the root, the records and the last backup. Administrators only (GRights).
class GStatusView : public GView {
 public:
  bool process_request(GSession& _session, MTextStream& _out, MList& _params,
                       MString& _contentType) override;

  void frame_status(GSession& _session, MTextStream& _out, MList& _params, MString& _contentType);
  // The page for the figures given, _now seconds since 1970 (for the up-time).
  void writeStatus(GSession& _session, MTextStream& _out, const GServerStatus& _status,
                   double _now);
};

#endif
