#include "webapp/GBodyAdmission.h"

#include "db/GUser.h"
#include "lib/net/MHttpProcessor.h"
#include "lib/net/MHttpRequest.h"
#include "views/GIds.h"
#include "views/GSession.h"
#include "views/GView.h"
#include "webapp/GActions.h"
#include "webapp/GClientAddress.h"
#include "webapp/GRequestIdentity.h"
#include "webapp/GSessionManagement.h"
#include "webapp/GShareVisit.h"
#include "webapp/GUpload.h"

MHttpHandler::BodyDecision GBodyAdmission::decide(GSessionManagement& _sessions,
                                                  MHttpRequest& _request) {
  MHttpHandler::BodyDecision decision;
  decision.client = GClientAddress::of(_request);
  if (_request.contentLength <= MHttpProcessor::maxMemoryBody) return decision;
  // The pictures that visitors of a link contribute (no session).
  if (GShareVisit::takesContribution(_request)) return decision;
  GSession* session = nullptr;
  GUser user;
  if (GView::paramInt(_request.params, "action") != GIds::ACTION_UPLOAD_IMAGE ||
      (session = GRequestIdentity::find(_request, _sessions).session) == nullptr ||
      !GUpload::mayUpload(*session, user)) {
    decision.status = 413;
  }
  return decision;
}
