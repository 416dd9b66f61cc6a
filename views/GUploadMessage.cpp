#include "views/GUploadMessage.h"

#include <string>

#include "db/GDatabase.h"
#include "views/GApplication.h"
#include "views/GMessage.h"
#include "views/GView.h"

namespace {

enum Limit { NONE, SIZE_IN_MB, IMAGE_LIMIT };

struct Message {
  int outcome;
  const char* name;  // for the script
  const char* key;
  bool refused;
  Limit limit;
};

const Message messages[] = {
    {GUploadMessage::STORED, "stored", "MESSAGE_UPLOAD_STORED", false, NONE},
    {GUploadMessage::WAITING, "waiting", "MESSAGE_UPLOAD_WAITING", false, NONE},
    {GUploadMessage::NO_FILE, "no-file", "MESSAGE_UPLOAD_NO_FILE", true, NONE},
    {GUploadMessage::NOT_JPEG, "not-jpeg", "MESSAGE_UPLOAD_NOT_JPEG", true, NONE},
    {GUploadMessage::TOO_LARGE, "too-large", "MESSAGE_UPLOAD_TOO_LARGE", true, SIZE_IN_MB},
    {GUploadMessage::AT_LIMIT, "at-limit", "MESSAGE_UPLOAD_AT_LIMIT", true, IMAGE_LIMIT},
    {GUploadMessage::NOT_ALLOWED, "not-allowed", "MESSAGE_UPLOAD_NOT_ALLOWED", true, NONE},
    {GUploadMessage::FAILED, "failed", "MESSAGE_UPLOAD_FAILED", true, NONE},
    {GUploadMessage::DISK_FULL, "disk-full", "MESSAGE_UPLOAD_DISK_FULL", true, NONE},
};

const Message* find(int _outcome) {
  for (const Message& message : messages) {
    if (message.outcome == _outcome) return &message;
  }
  return nullptr;
}

MString limitText(GSession& _session, Limit _limit) {
  GApplication& application = GApplication::get();
  if (_limit == SIZE_IN_MB) {
    return MString::format("%.1f", application.getOriginalMaxSize() / 1000000.0);
  }
  // The stored account: the limit that refused the upload, even if the session's is older.
  GUser user;
  int limit = application.getDatabase().getUser(_session.user.id, user) >= 0
                  ? user.imageLimit
                  : _session.user.imageLimit;
  return MString::format("%d", limit);
}

}  // namespace

const char* const GUploadMessage::PARAM = "Upload.outcome";

void GUploadMessage::set(MList& _params, Outcome _outcome) { _params.setObject(PARAM, (int)_outcome); }

void GUploadMessage::write(GSession& _session, MTextStream& _out, MList& _params) {
  const Message* message = find(GView::paramInt(_params, PARAM));
  if (message == nullptr) return;
  std::string text = GApplication::get().translate(_session, message->key);
  size_t at = text.find("%s");
  if (message->limit != NONE && at != std::string::npos) {
    text.replace(at, 2, limitText(_session, message->limit).getValue());
  }
  std::string attributes = std::string(" data-upload-outcome=\"") + message->name + "\"";
  GMessage::html(_out, message->refused ? GMessage::REFUSED : GMessage::DONE, text.c_str(),
                 attributes.c_str());
}
