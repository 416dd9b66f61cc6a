#include "webapp/GSlowStep.h"

#include <exception>
#include <memory>

#include "db/GPasswordHash.h"
#include "lib/core/MException.h"
#include "lib/core/MString.h"

void GSlowStep::hashPassword(const MString& _password,
                             std::function<void(const MString& _hash)> _store) {
  struct Outcome {
    MString hash;
    std::unique_ptr<MException> failure;
  };
  std::shared_ptr<Outcome> outcome = std::make_shared<Outcome>();
  MString password = _password;
  work = [outcome, password]() {
    try {
      outcome->hash = GPasswordHash::hash(password);
    } catch (const MException& _failure) {
      outcome->failure.reset(new MException(_failure));
    } catch (const std::exception& _failure) {
      outcome->failure.reset(new MException("### SYSTEM ###", _failure.what()));
    }
  };
  after = [outcome, _store]() {
    if (outcome->failure) throw MException(*outcome->failure);
    _store(outcome->hash);
    return true;
  };
  oneAtATime = true;
}
