#include "webapp/GBodyAdmission.h"

#include "db/GUser.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpRequest.h"
#include "views/GSession.h"
#include "views/GView.h"
#include "webapp/GActions.h"
#include "webapp/GServlet.h"
#include "webapp/GSessionManagement.h"
#include "webapp/GUpload.h"

namespace {

// The session the request names in its query, else the one of its cookie; null for none.
GSession* namedSession(GSessionManagement& _sessions, MHttpRequest& _request) {
  MString identifier = GView::paramText(_request.params, "session");
  GSession* session = identifier.getLength() > 0 ? _sessions.getSession(identifier.getValue()) : nullptr;
  if (session != nullptr) return session;
  identifier = GServlet::cookieSession(_request);
  return identifier.getLength() > 0 ? _sessions.getSession(identifier.getValue()) : nullptr;
}

}  // namespace

MHttpHandler::BodyDecision GBodyAdmission::decide(GSessionManagement& _sessions,
                                                  MHttpRequest& _request) {
  MHttpHandler::BodyDecision decision;
  decision.client = GServlet::clientAddress(_request);
  if (_request.contentLength <= MHttpProcessor::maxMemoryBody) return decision;
  GSession* session = nullptr;
  GUser user;
  if (GView::paramInt(_request.params, "action") != GActions::UPLOAD ||
      (session = namedSession(_sessions, _request)) == nullptr || !GUpload::mayUpload(*session, user)) {
    decision.status = 413;
  }
  return decision;
}
