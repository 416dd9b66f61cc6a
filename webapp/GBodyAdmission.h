#ifndef VISTREL_GBODYADMISSION_H
#define VISTREL_GBODYADMISSION_H

#include "lib/net/MHttpHandler.h"

class GSessionManagement;
class MHttpRequest;

// Which request bodies the server reads, decided from the request head before any of the
// body arrives (MHttpHandler::admitBody), so that strangers cannot fill the disk with bodies
// that nobody will look at:
//   - a body that is kept in memory (MHttpProcessor::maxMemoryBody: forms, logins) from
//     anybody;
//   - a larger one only for an upload (action 11 in the query, as the upload form posts it)
//     of a logged-in session whose stored account may upload (GUpload::mayUpload). The
//     session is the one the query's `session` names, else the session cookie's;
//   - everything else is refused with 413, unread.
// An upload over the size limit is still read (and dropped), so that its page can say so.
// Every body is counted against the browser's address (GClientAddress::of: the
// forwarded one behind the configured proxy).
class GBodyAdmission {
 public:
  static MHttpHandler::BodyDecision decide(GSessionManagement& _sessions, MHttpRequest& _request);
};

#endif
