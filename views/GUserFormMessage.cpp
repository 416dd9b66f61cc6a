#include "views/GUserFormMessage.h"

#include "views/GMessage.h"
#include "views/GView.h"

namespace {

struct Message {
  int code;
  const char* key;
};

const Message messages[] = {
    {GUserFormMessage::PASSWORDS_DIFFER, "MESSAGE_PASSWORDS_DIFFER"},
    {GUserFormMessage::PASSWORD_MISSING, "MESSAGE_PASSWORD_MISSING"},
};

int codes(MList& _params) {
  int value = GView::paramInt(_params, GUserFormMessage::PARAM);
  return value > 0 ? value : 0;
}

}  // namespace

const char* const GUserFormMessage::PARAM = "User.message";

void GUserFormMessage::add(MList& _params, int _code) {
  _params.setObject(PARAM, codes(_params) | _code);
}

void GUserFormMessage::write(GSession& _session, MTextStream& _out, MList& _params) {
  int given = codes(_params);
  for (const Message& message : messages) {
    if ((given & message.code) == 0) continue;
    GMessage::line(_session, _out, GMessage::REFUSED, message.key);
  }
}
