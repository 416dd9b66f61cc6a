#include "views/GMessage.h"

#include <string>

#include "views/GApplication.h"
#include "views/GView.h"

namespace {

struct Outcome {
  int code;
  const char* key;
  const char* kind;
};

const Outcome outcomes[] = {
    {GMessage::SAVED, "MESSAGE_SAVED", GMessage::DONE},
    {GMessage::DELETED, "MESSAGE_DELETED", GMessage::DONE},
    {GMessage::PUBLISHED, "MESSAGE_PUBLISHED", GMessage::DONE},
    {GMessage::PUBLISHED_WAITING, "MESSAGE_PUBLISHED_WAITING", GMessage::NOTE},
    {GMessage::UNPUBLISHED, "MESSAGE_UNPUBLISHED", GMessage::DONE},
    {GMessage::ACCEPTED, "MESSAGE_ACCEPTED", GMessage::DONE},
    {GMessage::DENIED, "MESSAGE_DENIED", GMessage::DONE},
    {GMessage::LINK_MADE, "MESSAGE_LINK_MADE", GMessage::DONE},
    {GMessage::LINK_EXTENDED, "MESSAGE_LINK_EXTENDED", GMessage::DONE},
    {GMessage::LINK_ENDED, "MESSAGE_LINK_ENDED", GMessage::DONE},
    {GMessage::LINK_DATE_PASSED, "MESSAGE_LINK_DATE_PASSED", GMessage::REFUSED},
};

}  // namespace

const char* const GMessage::PARAM = "message";
const char* const GMessage::DONE = "done";
const char* const GMessage::NOTE = "note";
const char* const GMessage::EMPTY = "empty";
const char* const GMessage::REFUSED = "refused";

void GMessage::set(MList& _params, int _code) { _params.setObject(PARAM, _code); }

void GMessage::write(GSession& _session, MTextStream& _out, MList& _params) {
  if (_params.getObject(PARAM) == nullptr) return;
  int code = GView::paramInt(_params, PARAM);
  for (const Outcome& outcome : outcomes) {
    if (outcome.code == code) line(_session, _out, outcome.kind, outcome.key);
  }
}

void GMessage::line(GSession& _session, MTextStream& _out, const char* _kind, const char* _key,
                    const char* _extra) {
  std::string text = GApplication::get().translate(_session, _key);
  text += _extra != nullptr ? _extra : "";
  html(_out, _kind, text.c_str());
}

void GMessage::html(MTextStream& _out, const char* _kind, const char* _html,
                    const char* _attributes) {
  _out << "<DIV class=\"message message_" << _kind << "\" role=\"status\""
       << (_attributes != nullptr ? _attributes : "") << ">" << _html << "</DIV>\n";
}
