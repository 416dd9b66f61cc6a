#include "views/GApplication.h"

#include "lib/core/MException.h"

GApplication* GApplication::instance = nullptr;

GApplication::GApplication() { instance = this; }

GApplication::~GApplication() {
  if (instance == this) instance = nullptr;
}

GApplication* GApplication::current() { return instance; }

GApplication& GApplication::get() {
  if (instance == nullptr) {
    throw MException("### APPLICATION ###", "There is no running application!");
  }
  return *instance;
}
