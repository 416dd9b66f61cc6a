#include "webapp/GShareVisit.h"

#include <sodium.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "db/GDatabase.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GImageFolder.h"
#include "lib/core/MException.h"
#include "lib/core/MList.h"
#include "lib/core/MUtf8.h"
#include "lib/core/MTextStream.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MLaterResponse.h"
#include "lib/platform/MClock.h"
#include "lib/platform/MWorkerPool.h"
#include "views/GApplication.h"
#include "views/GHtml.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "views/GUploadMessage.h"
#include "webapp/GClientAddress.h"
#include "webapp/GLogin.h"
#include "webapp/GLoginThrottle.h"
#include "webapp/GRequestIdentity.h"
#include "webapp/GSlowStep.h"
#include "webapp/GUpload.h"

namespace {

const char* const prefix = "/s/";
const char* const grantCookie = "vistrel_link";

// Which file of a picture each letter of the path names.
struct FileRow {
  char what;
  const char* store;
};
const FileRow files[] = {
    {'t', "preview1"},
    {'p', "preview2"},
    {'o', "original"},
};

}  // namespace

GShareVisit::GShareVisit(GLogin& _login, MWorkerPool& _workers)
    : login(_login), workers(_workers) {
  randombytes_buf(grantKey, sizeof grantKey);
}

void GShareVisit::linkHeaders(MHttpResponse& _response) {
  _response.headers.setObject("X-Robots-Tag", "noindex");
  _response.headers.setObject("Referrer-Policy", "no-referrer");
  _response.headers.setObject("Cache-Control", "no-store");
}

MString GShareVisit::grant(const GShareLink& _link) {
  unsigned char proof[16];
  crypto_generichash_state state;
  crypto_generichash_init(&state, grantKey, sizeof grantKey, sizeof proof);
  crypto_generichash_update(&state, _link.token, sizeof _link.token);
  crypto_generichash_update(&state, (const unsigned char*)_link.password.getValue(),
                            (unsigned long long)_link.password.getLength());
  crypto_generichash_final(&state, proof, sizeof proof);
  char text[sodium_base64_ENCODED_LEN(sizeof proof, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
  sodium_bin2base64(text, sizeof text, proof, sizeof proof,
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  return MString(text);
}

bool GShareVisit::granted(MHttpRequest& _request, const GShareLink& _link) {
  MString expected = grant(_link);
  std::string cookies = _request.getHeader("Cookie").getValue();
  std::string name = std::string(grantCookie) + "=";
  size_t at = 0;
  bool fits = false;
  // Every cookie of the name is compared (the browser may send more than one path's).
  while ((at = cookies.find(name, at)) != std::string::npos) {
    bool starts = at == 0 || cookies[at - 1] == ' ' || cookies[at - 1] == ';';
    size_t begin = at + name.size();
    size_t end = cookies.find(';', begin);
    std::string value = cookies.substr(begin, end == std::string::npos ? std::string::npos
                                                                       : end - begin);
    if (starts && value.size() == (size_t)expected.getLength() &&
        sodium_memcmp(value.data(), expected.getValue(), value.size()) == 0) {
      fits = true;
    }
    at = begin;
  }
  return fits;
}

void GShareVisit::checkPassword(MHttpRequest& _request, MHttpResponse& _response,
                                MTextStream& _out, const GShareLink& _link,
                                const GLinkView::Page& _page, const MString& _address) {
  // A password only from a posted form: in a URL it would end up in logs and histories.
  MString password = GView::paramText(_request.params, "password");
  if (_request.inQueryString("password") || password.getLength() == 0) {
    status(_response, 403, "Forbidden");
    view.writePassword(_page, _out, nullptr);
    return;
  }
  // What the answer needs later, kept by value: the request's page goes with it.
  std::string language = _page.language.getValue();
  std::string texts = _page.texts->language.getValue();
  std::string base = _page.base.getValue();
  std::string title = _page.title.getValue();
  MString cookie = MString::format("%s=%s; Path=%s; HttpOnly; SameSite=Lax%s", grantCookie,
                                   grant(_link).getValue(), base.c_str(),
                                   GRequestIdentity::isHttps(_request) ? "; Secure" : "");
  auto finish = [this, language, texts, base, title, cookie](MHttpRequest&,
                                                             MHttpResponse& _resp, bool _right) {
    GSession session;
    session.language = texts.c_str();
    GLinkView::Page page;
    page.texts = &session;
    page.language = language.c_str();
    page.base = base.c_str();
    page.title = title.c_str();
    linkHeaders(_resp);
    _resp.contentType = "text/html; charset=UTF-8";
    MTextStream out(&_resp.content);
    if (_right) {
      status(_resp, 303, "See Other");
      _resp.headers.setObject("Location", GLinkView::address(page, "", MString()).getValue());
      _resp.headers.setObject("Set-Cookie", cookie.getValue());
      return;
    }
    status(_resp, 403, "Forbidden");
    view.writePassword(page, out, "LINK_PASSWORD_WRONG");
  };
  std::string key = GLogin::guessKey(MString::format("link %d", _link.id).getValue());
  switch (login.checkGuess(key, _address, (Int64)(getTimeMicros() / 1000), password,
                           _link.password, _response, finish)) {
    case GLogin::GuessCheck::STARTED: return;
    case GLogin::GuessCheck::THROTTLED:
      status(_response, 429, "Too Many Requests");
      _response.headers.setObject("Retry-After", 1);
      view.writePassword(_page, _out, "LINK_PASSWORD_WAIT");
      return;
    case GLogin::GuessCheck::BUSY:
      status(_response, 503, "Service Unavailable");
      _response.headers.setObject("Retry-After", 5);
      view.writePassword(_page, _out, "LINK_PASSWORD_WAIT");
      return;
  }
}

void GShareVisit::status(MHttpResponse& _response, int _code, const char* _text) {
  _response.statusCode = _code;
  _response.statusText = _text;
}

bool GShareVisit::parseRest(const char* _rest, Want& _want) {
  if (*_rest == 0 || strcmp(_rest, "/") == 0) return true;
  if (strcmp(_rest, "/up") == 0) {
    _want.what = 'u';
    return true;
  }
  // "/x/<digits>", nothing else.
  if (_rest[0] != '/' || _rest[1] == 0 || _rest[2] != '/') return false;
  _want.what = _rest[1];
  if (_want.what != 'v' && _want.what != 't' && _want.what != 'p' && _want.what != 'o') {
    return false;
  }
  const char* digits = _rest + 3;
  size_t length = strlen(digits);
  if (length == 0 || length > 9 || strspn(digits, "0123456789") != length) return false;
  _want.image = atoi(digits);
  return true;
}

bool GShareVisit::isShowing(const GShareLink& _link, unsigned int _now, GUser& _maker,
                            MString& _title) {
  if (!_link.isOpen(_now)) return false;
  GDatabase& database = GApplication::get().getDatabase();
  if (database.getUser(_link.maker, _maker) < 0) return false;
  if (_link.kind == GShareLink::FOLDER) {
    GFolder folder;
    if (database.getFolder(_link.target, folder) < 0) return false;
    _title = folder.name;
    return GRights::mayShareFolder(_maker, folder);
  }
  GImage image;
  if (_link.kind != GShareLink::PICTURE || database.getImage(_link.target, image) < 0) {
    return false;
  }
  _title = image.name;
  return GRights::mayShareImage(_maker, image);
}

void GShareVisit::pictures(const GShareLink& _link, std::vector<int>& _ids) {
  GDatabase& database = GApplication::get().getDatabase();
  if (_link.kind == GShareLink::PICTURE) {
    GImage image;
    if (database.getImage(_link.target, image) >= 0 && GRights::linkShowsImage(image)) {
      _ids.push_back(image.id);
    }
    return;
  }
  database.getFolderImageIdsPage(_link.target, 0, INT_MAX, _ids);
}

void GShareVisit::countOpening(int _link, unsigned int _now) {
  if (metrics != nullptr) metrics->countLinkVisit();
  std::lock_guard<std::mutex> lock(openingsMutex);
  std::pair<unsigned int, unsigned int>& gathered = openings[_link];
  gathered.first++;
  gathered.second = _now;
  if (writingOpenings) return;
  writingOpenings = workers.submit([this]() { writeOpenings(); });
}

void GShareVisit::writeOpenings() {
  for (;;) {
    std::map<int, std::pair<unsigned int, unsigned int>> taken;
    {
      std::lock_guard<std::mutex> lock(openingsMutex);
      if (openings.empty()) {
        writingOpenings = false;
        return;
      }
      taken.swap(openings);
    }
    for (const auto& entry : taken) {
      try {
        GApplication::get().getDatabase().changeShareLink(
            entry.first, [&entry](GShareLink& _stored) {
              _stored.opened += entry.second.first;
              if (entry.second.second > _stored.lastOpened) _stored.lastOpened = entry.second.second;
            });
      } catch (...) {
        // A count that cannot be written is lost; the visits went on without it.
      }
    }
  }
}

void GShareVisit::answer(MHttpRequest& _request, MHttpResponse& _response, MTextStream& _out,
                         int _now) {
  linkHeaders(_response);
  _response.contentType = "text/html; charset=UTF-8";
  GApplication& application = GApplication::get();
  GDatabase& database = application.getDatabase();
  const unsigned int now = (unsigned int)_now;
  // The throttle's back-offs are of a second and more: counted in milliseconds.
  const Int64 millis = (Int64)(getTimeMicros() / 1000);

  GSession texts;
  texts.language = application.getDefaultLanguage();
  GLinkView::Page page;
  page.texts = &texts;
  page.title = application.getServerTitle();

  // Token guesses are counted per address: a key of their own beside the address, so
  // that nobody's guesses hold back the visitors of other addresses.
  MString address = GClientAddress::of(_request);
  std::string key = GLogin::guessKey(
      ("token " + GLoginThrottle::addressKey(address.getValue())).c_str());
  Int64 wait = login.guessRefusedFor(key, address, millis);
  if (wait > 0) {
    status(_response, 429, "Too Many Requests");
    _response.headers.setObject("Retry-After", (int)((wait + 999) / 1000));
    view.writeMessage(page, _out, "LINK_THROTTLED_TITLE", "LINK_THROTTLED");
    return;
  }

  const char* path = _request.path.getValue();
  const char* token = path + strlen(prefix);
  const char* end = strchr(token, '/');
  size_t length = end != nullptr ? (size_t)(end - token) : strlen(token);
  unsigned char bytes[GShareLink::TOKEN_BYTES];
  GShareLink link;
  if (!GShareLink::parseToken(token, length, bytes) || database.findShareLink(bytes, link) < 0) {
    login.countGuess(key, address, false, millis);
    status(_response, 404, "Not Found");
    view.writeMessage(page, _out, "LINK_NOT_FOUND_TITLE", "LINK_NOT_FOUND");
    return;
  }

  page.base = MString(path, (int)(token + length - path));
  GUser maker;
  MString title;
  bool showing = isShowing(link, now, maker, title);
  if (maker.id >= 0 && maker.language.getLength() > 0) texts.language = maker.language;
  MString chosen = GView::paramText(_request.params, "lang");
  MList& languages = application.getLanguages();
  if (chosen.getLength() > 0 && languages.getItem(&chosen) != nullptr) {
    texts.language = chosen;
    page.language = chosen;
  }
  if (!showing) {
    status(_response, 410, "Gone");
    view.writeMessage(page, _out, "LINK_ENDED_TITLE", "LINK_ENDED");
    return;
  }
  page.title = link.name.getLength() > 0 ? link.name : title;

  Want want;
  bool parsed = parseRest(end != nullptr ? end : "", want);
  if (!parsed || (want.what != 0 && want.what != 'u' && !shows(link, want.image))) {
    status(_response, 404, "Not Found");
    view.writeMessage(page, _out, "LINK_NOT_FOUND_TITLE", "LINK_NOT_FOUND");
    return;
  }
  if (link.hasPassword() && !granted(_request, link)) {
    // Nothing of what the link shows before the password: not even its name.
    page.title = application.getServerTitle();
    if (want.what == 't' || want.what == 'p' || want.what == 'o') {
      status(_response, 403, "Forbidden");
      _response.contentType = "text/plain";
      _out << "Forbidden\n";
    } else if (_request.method == "POST" && want.what == 0) {
      checkPassword(_request, _response, _out, link, page, address);
    } else {
      status(_response, 403, "Forbidden");
      view.writePassword(page, _out, nullptr);
    }
    return;
  }
  if (want.what == 'u') {
    contribute(_request, _response, _out, link, maker, page, _now);
    return;
  }
  if (want.what == 't' || want.what == 'p' || want.what == 'o') {
    answerFile(link, maker, want, _response, _out);
    return;
  }
  bool download = GRights::linkAllowsOriginals(maker, link);
  if (want.what == 0) countOpening(link.id, now);
  std::vector<int> ids;
  if (want.what == 'v' || link.kind == GShareLink::PICTURE) {
    // The viewer steps through the whole list.
    pictures(link, ids);
    auto at = want.what == 0 ? ids.begin() : std::find(ids.begin(), ids.end(), want.image);
    if (at == ids.end()) {
      // A picture link whose picture is not accepted (any more): nothing to show yet.
      view.writeGrid(page, _out, ids, 0, 0, GLinkView::Contribution());
      return;
    }
    int position = (int)(at - ids.begin());
    GImage image;
    database.getImage(*at, image);
    MString name = image.name.getLength() > 0 ? image.name : MString::format("%07d", image.id);
    int previous = position > 0 ? ids[position - 1] : -1;
    int next = position + 1 < (int)ids.size() ? ids[position + 1] : -1;
    view.writeViewer(page, _out, *at, position, (int)ids.size(), previous, next, download, name,
                     link.kind == GShareLink::PICTURE);
    return;
  }
  // The grid reads only its page of the folder's list.
  int pageNumber = std::max(1, GView::paramInt(_request.params, "n"));
  int first = pageNumber <= INT_MAX / GLinkView::picturesPerPage
                  ? (pageNumber - 1) * GLinkView::picturesPerPage
                  : 0;
  int total = folderPage(link, first, ids);
  if (first > 0 && first >= total) {
    first = 0;
    total = folderPage(link, first, ids);
  }
  GLinkView::Contribution contribution;
  contribution.offered = link.kind == GShareLink::FOLDER && link.contributions;
  contribution.contributor = contributorName(_request);
  int outcome = GView::paramInt(_request.params, "contributed");
  if (outcome == GLinkView::OVER_LIMIT || (outcome >= GUploadMessage::STORED &&
                                           outcome <= GUploadMessage::DISK_FULL)) {
    contribution.outcome = outcome;
  }
  view.writeGrid(page, _out, ids, total, first, contribution);
}

int GShareVisit::folderPage(const GShareLink& _link, int _first, std::vector<int>& _ids) {
  return GApplication::get().getDatabase().getFolderImageIdsPage(
      _link.target, _first, GLinkView::picturesPerPage, _ids);
}

bool GShareVisit::shows(const GShareLink& _link, int _image) {
  GDatabase& database = GApplication::get().getDatabase();
  GImage image;
  if (_image < 0 || database.getImage(_image, image) < 0 || !GRights::linkShowsImage(image)) {
    return false;
  }
  if (_link.kind == GShareLink::PICTURE) return _image == _link.target;
  GImageFolder published;
  return database.getFolderImage(_link.target, _image, published) >= 0 &&
         published.status == GIMAGE_ACCEPTED;
}

void GShareVisit::answerFile(const GShareLink& _link, const GUser& _maker, const Want& _want,
                             MHttpResponse& _response, MTextStream& _out) {
  if (_want.what == 'o' && !GRights::linkAllowsOriginals(_maker, _link)) {
    status(_response, 403, "Forbidden");
    _response.contentType = "text/plain";
    _out << "Forbidden\n";
    return;
  }
  for (const FileRow& row : files) {
    if (row.what != _want.what) continue;
    // The id is written as a number, so nothing the browser sends can leave the store.
    MString name = MString::format("%s/images/%s/%07d.jpg",
                                   GApplication::get().getDirectory().getValue(), row.store,
                                   _want.image);
    view.writeFile(_out, name.getValue());
    _response.contentType = "image/jpeg";
    // Kept by this browser only, and asked for again once the page is gone.
    _response.headers.setObject("Cache-Control", "private, max-age=3600");
    return;
  }
}

MString GShareVisit::contributorName(MHttpRequest& _request) {
  std::string name = GView::paramText(_request.params, "contributor").getValue();
  // Without blanks around it and control characters in it; as long as a name field of the
  // records, cut after a whole letter.
  for (char& c : name) {
    if ((unsigned char)c < ' ') c = ' ';
  }
  size_t first = name.find_first_not_of(' ');
  size_t last = name.find_last_not_of(' ');
  name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
  return MString(name.data(), (int)MUtf8::cutLength(name.data(), name.size(), 39));
}

bool GShareVisit::takesContribution(MHttpRequest& _request) {
  const char* path = _request.path.getValue();
  size_t length = strlen(path);
  size_t tokenEnd = strlen(prefix) + GShareLink::TOKEN_TEXT;
  if (length != tokenEnd + 3 || strncmp(path, prefix, strlen(prefix)) != 0 ||
      strcmp(path + tokenEnd, "/up") != 0) {
    return false;
  }
  unsigned char bytes[GShareLink::TOKEN_BYTES];
  GShareLink link;
  GUser maker;
  MString title;
  return GShareLink::parseToken(path + strlen(prefix), GShareLink::TOKEN_TEXT, bytes) &&
         GApplication::get().getDatabase().findShareLink(bytes, link) >= 0 &&
         link.kind == GShareLink::FOLDER && link.contributions &&
         isShowing(link, (unsigned int)time(nullptr), maker, title);
}

void GShareVisit::backToGrid(MHttpResponse& _response, const GLinkView::Page& _page,
                             const MString& _contributor, int _outcome) {
  linkHeaders(_response);
  status(_response, 303, "See Other");
  MString extra = MString::format("contributor=%s&contributed=%d",
                                  GHtml::urlEncode(_contributor.getValue()).getValue(), _outcome);
  _response.headers.setObject("Location", GLinkView::address(_page, "", extra).getValue());
}

void GShareVisit::contribute(MHttpRequest& _request, MHttpResponse& _response,
                             MTextStream& _out, const GShareLink& _link, const GUser& _maker,
                             const GLinkView::Page& _page, int _now) {
  MString contributor = contributorName(_request);
  if (_link.kind != GShareLink::FOLDER || !_link.contributions || _request.method != "POST" ||
      contributor.getLength() == 0) {
    status(_response, 404, "Not Found");
    view.writeMessage(_page, _out, "LINK_NOT_FOUND_TITLE", "LINK_NOT_FOUND");
    return;
  }
  GApplication& application = GApplication::get();
  std::shared_ptr<GUpload> upload = std::make_shared<GUpload>();
  std::shared_ptr<GSlowStep> slow = std::make_shared<GSlowStep>();
  upload->processFor(_maker, GIMAGE_WAITING, _request, slow.get());
  if (!slow->isPending()) {
    // Refused before any work (too large, no body): told at once.
    backToGrid(_response, _page, contributor,
               GView::paramInt(_request.params, GUploadMessage::PARAM));
    return;
  }
  // The mark of the picture in the queues, in the maker's language.
  GSession makers;
  makers.language = _maker.language;
  MString linkName = _link.name.getLength() > 0 ? _link.name : _page.title;
  MString mark = MString::format(
      "%s %s %s %s", application.translate(makers, "LINK_CONTRIBUTION_VIA"),
      linkName.getValue(), application.translate(makers, "LINK_CONTRIBUTION_FROM"),
      contributor.getValue());
  const int linkId = _link.id;
  const int folder = _link.target;
  const int limit = application.getLinkContributionsPerDay();
  const unsigned int day = (unsigned int)_now / (24 * 60 * 60);
  std::shared_ptr<bool> over = std::make_shared<bool>(false);
  // What the answer needs later, kept by value.
  std::string texts = _page.texts->language.getValue();
  std::string language = _page.language.getValue();
  std::string base = _page.base.getValue();
  std::string title = _page.title.getValue();
  std::shared_ptr<MLaterResponse> later = _response.defer();
  auto job = [this, later, upload, slow, over, mark, linkId, folder, limit, day, texts,
              language, base, title, contributor]() {
    GDatabase& database = GApplication::get().getDatabase();
    bool counted = false;
    try {
      // The day's count is taken before the work, under the database's lock, so that
      // uploads at the same time cannot pass the limit together.
      database.changeShareLink(linkId, [&](GShareLink& _stored) {
        if (_stored.contributionDay != day) {
          _stored.contributionDay = day;
          _stored.contributionsToday = 0;
        }
        if (_stored.contributionsToday < limit) {
          _stored.contributionsToday++;
          counted = true;
        }
      });
    } catch (const std::exception&) {
    }
    *over = !counted;
    if (counted) {
      slow->work();
      int id = upload->getStoredId();
      try {
        if (id >= 0) {
          GImage image;
          if (database.getImage(id, image) >= 0) {
            image.description = mark;
            database.updateImage(id, image);
          }
          database.addFolderImage(folder, id, GIMAGE_ACCEPTED);
        } else {
          // Nothing stored: it does not count.
          database.changeShareLink(linkId, [day](GShareLink& _stored) {
            if (_stored.contributionDay == day && _stored.contributionsToday > 0) {
              _stored.contributionsToday--;
            }
          });
        }
      } catch (const std::exception&) {
      }
    }
    later->complete([this, slow, over, texts, language, base, title, contributor](
                        MHttpRequest& _req, MHttpResponse& _resp) {
      int outcome = GLinkView::OVER_LIMIT;
      if (!*over) {
        try {
          slow->after();
          outcome = GView::paramInt(_req.params, GUploadMessage::PARAM);
        } catch (const MException&) {
          outcome = GUploadMessage::FAILED;
        }
      }
      GSession session;
      session.language = texts.c_str();
      GLinkView::Page page;
      page.texts = &session;
      page.language = language.c_str();
      page.base = base.c_str();
      page.title = title.c_str();
      backToGrid(_resp, page, contributor, outcome);
    });
  };
  if (workers.submit(job)) return;
  // Every worker busy and the queue full: the browser is asked to send it again.
  _response.later.reset();
  status(_response, 503, "Service Unavailable");
  _response.headers.setObject("Retry-After", 5);
  view.writeMessage(_page, _out, "LINK_THROTTLED_TITLE", "LINK_BUSY");
}
