#include "webapp/GLogin.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "db/GDatabase.h"
#include "db/GPasswordHash.h"
#include "lib/core/MList.h"
#include "lib/net/MHttpRequest.h"
#include "lib/net/MHttpResponse.h"
#include "lib/net/MLaterResponse.h"
#include "lib/platform/MClock.h"
#include "views/GApplication.h"
#include "views/GBookmark.h"
#include "views/GIds.h"
#include "views/GMainView.h"
#include "views/GRights.h"
#include "views/GSession.h"
#include "webapp/GClientAddress.h"
#include "webapp/GRequestIdentity.h"
#include "webapp/GServlet.h"
#include "webapp/GSessionManagement.h"

GLogin::GLogin(GSessionManagement& _sessions, size_t _queue)
    : sessions(_sessions), worker(1, _queue), refusals(delayedRefusals) {}

GLogin::~GLogin() { stop(); }

void GLogin::stop() {
  worker.shutdown(MWorkerPool::DROP_QUEUED);
  refusals.shutdown();
}

bool GLogin::credentialsInQuery(MHttpRequest& _request) {
  return _request.inQueryString("username") || _request.inQueryString("password");
}

bool GLogin::begin(MHttpRequest& _request, MHttpResponse& _response, GSession* _inUse, int _now,
                   const Resume& _resume) {
  MList& params = _request.params;
  GDatabase& database = GApplication::get().getDatabase();
  Attempt attempt;
  attempt.inUse = _inUse;
  attempt.now = _now;
  attempt.address = GClientAddress::of(_request);
  Int64 millis = (Int64)_now * 1000;
  if (GView::paramText(params, GMainView::GUEST_LOGIN) == "1") {
    attempt.guestKey = true;
    attempt.known = database.getUser(GRights::guestAccountId, attempt.user) >= 0;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (attempt.known && attempt.user.enabled &&
          !throttle.admitGuest(attempt.address.getValue(), millis)) {
        attempt.refusal = GMainView::LOGIN_BUSY;
      }
    }
    return decided(_request, _response, attempt, _resume);
  }
  attempt.username = GView::paramText(params, "username");
  MString password = GView::paramText(params, "password");
  params.deleteObject("password");
  if (credentialsInQuery(_request) || password.getLength() == 0) {
    return decided(_request, _response, attempt, _resume);
  }
  attempt.known = database.getUserByUsername(attempt.username.getValue(), attempt.user) >= 0;
  if (!startCheck(attempt)) return decided(_request, _response, attempt, _resume);
  // Hashed also for an unknown name, so that the time of the answer does not tell.
  MString stored = attempt.known ? attempt.user.password : MString();

  // A check that never runs (dropped at shutdown, or its browser gone before its turn) is
  // no longer under way, and counts as nothing: nobody learns its outcome.
  auto drop = [this, attempt]() {
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string& key : {pairCheck(attempt), addressCheck(attempt)}) {
      if (--checking[key] <= 0) checking.erase(key);
    }
  };
  std::shared_ptr<MLaterResponse> later = _response.defer();
  auto check = [this, later, attempt, password, stored, _resume, drop]() {
    if (later->isAbandoned()) return drop();
    bool right = GPasswordHash::verify(password, stored);
    endCheck(attempt, right);
    later->complete([this, attempt, right, _resume](MHttpRequest& _req, MHttpResponse& _resp) {
      _resume(_req, _resp, [&]() { finish(_req, _resp, attempt, right); });
    });
  };
  if (worker.submit(check, drop)) return true;
  // The worker's queue is full: refused, never checked here on the loop.
  _response.later.reset();
  drop();
  attempt.refusal = GMainView::LOGIN_BUSY;
  return decided(_request, _response, attempt, _resume);
}

bool GLogin::decided(MHttpRequest& _request, MHttpResponse& _response, const Attempt& _attempt,
                     const Resume& _resume) {
  bool right = _attempt.guestKey && _attempt.known;
  bool slowed = _attempt.refusal == GMainView::LOGIN_THROTTLED ||
                _attempt.refusal == GMainView::LOGIN_BUSY;
  if (slowed && refusalDelay > 0) {
    std::shared_ptr<MLaterResponse> later = _response.defer();
    Attempt attempt = _attempt;
    auto answer = [this, later, attempt, _resume]() {
      later->complete([this, attempt, _resume](MHttpRequest& _req, MHttpResponse& _resp) {
        _resume(_req, _resp, [&]() { finish(_req, _resp, attempt, false); });
      });
    };
    if (refusals.add(refusalDelay, answer)) return true;
    _response.later.reset();
  }
  finish(_request, _response, _attempt, right);
  return false;
}

std::string GLogin::pairCheck(const Attempt& _attempt) {
  return "pair:" + GLoginThrottle::accountKey(_attempt.username.getValue()) + '\0' +
         GLoginThrottle::addressKey(_attempt.address.getValue());
}

std::string GLogin::addressCheck(const Attempt& _attempt) {
  return "address:" + GLoginThrottle::addressKey(_attempt.address.getValue());
}

bool GLogin::startCheck(Attempt& _attempt) {
  std::lock_guard<std::mutex> lock(mutex);
  std::string pair = pairCheck(_attempt);
  std::string address = addressCheck(_attempt);
  Int64 now = (Int64)_attempt.now * 1000;
  auto under = [this](const std::string& _key) {
    auto found = checking.find(_key);
    return found != checking.end() ? found->second : 0;
  };
  if (throttle.refusedFor(_attempt.username.getValue(), _attempt.address.getValue(), now) > 0 ||
      under(pair) >= 1 || under(address) >= CHECKS_PER_ADDRESS) {
    _attempt.refusal = GMainView::LOGIN_THROTTLED;
    return false;
  }
  if (!throttle.admitCheck(_attempt.known, now)) {
    _attempt.refusal = GMainView::LOGIN_BUSY;
    return false;
  }
  checking[pair]++;
  checking[address]++;
  return true;
}

void GLogin::endCheck(const Attempt& _attempt, bool _right) {
  std::lock_guard<std::mutex> lock(mutex);
  Int64 now = (Int64)_attempt.now * 1000;
  if (_attempt.known && _attempt.user.enabled && _right) {
    throttle.succeeded(_attempt.username.getValue(), _attempt.address.getValue(), now);
  } else {
    throttle.failed(_attempt.username.getValue(), _attempt.address.getValue(), _attempt.known, now);
  }
  for (const std::string& key : {pairCheck(_attempt), addressCheck(_attempt)}) {
    if (--checking[key] <= 0) checking.erase(key);
  }
}

void GLogin::finish(MHttpRequest& _request, MHttpResponse& _response, const Attempt& _attempt,
                    bool _right) {
  MList& params = _request.params;
  const char* refusal = _attempt.refusal;
  if (refusal == nullptr && (!_attempt.known || !_attempt.user.enabled || !_right)) {
    refusal = GMainView::LOGIN_FAILED;
  }
  if (report) {
    GMetrics::Login outcome = refusal == nullptr                       ? GMetrics::LOGIN_SUCCEEDED
                              : refusal == GMainView::LOGIN_THROTTLED ? GMetrics::LOGIN_THROTTLED
                              : refusal == GMainView::LOGIN_BUSY      ? GMetrics::LOGIN_BUSY
                                                                      : GMetrics::LOGIN_FAILED;
    report(outcome, _attempt.username, _attempt.address);
  }
  // Nothing of what was typed goes on into the links of the page: the password never
  // stands in a URL. The plain address of a folder or a picture that led to the login does.
  std::vector<std::pair<const char*, int>> bookmark;
  for (const char* name : {GBookmark::FOLDER, GBookmark::IMAGE}) {
    if (params.getObject(name) != nullptr) bookmark.emplace_back(name, GView::paramInt(params, name));
  }
  params.clear();
  for (const auto& kept : bookmark) params.setObject(kept.first, kept.second);
  if (refusal != nullptr) {
    params.setObject("session", GSession::guestId);
    params.setObject("page", GIds::PAGE_SUBMAIN);
    params.setObject(GMainView::LOGIN_STATE, refusal);
    return;
  }
  GSession* created = sessions.logIn(_attempt.user, _attempt.now, _attempt.inUse);
  _response.headers.setObject(
      "Set-Cookie", GRequestIdentity::sessionCookie(created->cookieSecret.getValue(),
                                                    GRequestIdentity::isHttps(_request))
                        .getValue());
  params.setObject("session", created->id.getValue());
  params.setObject("page", GIds::PAGE_MAIN);
  params.setObject(GMainView::ENTERED, 1);
}

Int64 GLogin::guessRefusedFor(const std::string& _key, const MString& _address,
                              Int64 _nowMillis) {
  std::lock_guard<std::mutex> lock(mutex);
  return throttle.refusedFor(_key.c_str(), _address.getValue(), _nowMillis);
}

void GLogin::countGuess(const std::string& _key, const MString& _address, bool _right,
                        Int64 _nowMillis) {
  std::lock_guard<std::mutex> lock(mutex);
  if (_right) {
    throttle.succeeded(_key.c_str(), _address.getValue(), _nowMillis);
  } else {
    throttle.failed(_key.c_str(), _address.getValue(), false, _nowMillis);
  }
}

std::string GLogin::guessKey(const char* _what) { return std::string("\x1f") + _what; }

GLogin::GuessCheck GLogin::checkGuess(const std::string& _key, const MString& _address,
                                      Int64 _nowMillis,
                                      const MString& _password, const MString& _stored,
                                      MHttpResponse& _response, const GuessFinish& _finish) {
  const Int64 millis = _nowMillis;
  const std::string under =
      "guess:" + _key + '\0' + GLoginThrottle::addressKey(_address.getValue());
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (throttle.refusedFor(_key.c_str(), _address.getValue(), millis) > 0 ||
        checking.count(under) != 0) {
      return GuessCheck::THROTTLED;
    }
    if (!throttle.admitCheck(true, millis)) return GuessCheck::BUSY;
    checking[under]++;
  }
  auto release = [this, under]() {
    std::lock_guard<std::mutex> lock(mutex);
    if (--checking[under] <= 0) checking.erase(under);
  };
  std::shared_ptr<MLaterResponse> later = _response.defer();
  auto check = [this, later, _key, _address, _password, _stored, _finish, release]() {
    // A check whose browser has gone counts as nothing: nobody learns its outcome.
    if (later->isAbandoned()) return release();
    bool right = GPasswordHash::verify(_password, _stored);
    // Counted when known: a back-off runs from the outcome, however long the check took.
    countGuess(_key, _address, right, (Int64)(getTimeMicros() / 1000));
    release();
    later->complete([_finish, right](MHttpRequest& _req, MHttpResponse& _resp) {
      _finish(_req, _resp, right);
    });
  };
  if (worker.submit(check, release)) return GuessCheck::STARTED;
  _response.later.reset();
  release();
  return GuessCheck::BUSY;
}
