#include "lib/core/MException.h"

#include <cstring>

namespace {
// A printable chain is bounded by this buffer, as the text form always was.
const int kTextLimit = 10000;
}

MException::MException() : code(0), subCode(0), inner(nullptr) {}

MException::MException(const char* _location, const char* _message, const MException* _inner)
    : MException(0, 0, _location, _message, _inner) {}

MException::MException(int _code, int _subCode, const char* _location, const char* _message,
                       const MException* _inner)
    : code(_code),
      subCode(_subCode),
      location(_location),
      message(_message),
      inner(_inner ? new MException(*_inner) : nullptr) {}

MException::MException(const MException& _other)
    : MObject(_other),
      code(_other.code),
      subCode(_other.subCode),
      location(_other.location),
      message(_other.message),
      inner(_other.inner ? new MException(*_other.inner) : nullptr) {}

MException& MException::operator=(const MException& _other) {
  if (this == &_other) return *this;
  MException* copy = _other.inner ? new MException(*_other.inner) : nullptr;
  delete inner;
  inner = copy;
  code = _other.code;
  subCode = _other.subCode;
  location = _other.location;
  message = _other.message;
  return *this;
}

MException::~MException() { delete inner; }

MObject* MException::newObject() { return new MException(); }

MObject* MException::duplicate() { return new MException(*this); }

uchar MException::getType() { return 21; }

MString MException::getTypeName() { return MString("MException"); }

bool MException::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MException") == 0) || MObject::isKindOf(_name);
}

bool MException::isKindOf(uchar _type) { return _type == 21 || MObject::isKindOf(_type); }

MString MException::toString() {
  char buffer[kTextLimit];
  int n = snprintf(buffer, sizeof buffer, "EXCEPTION %s [%s]\n", message.getValue(),
                   location.getValue());
  if (inner != nullptr && n >= 0 && n < kTextLimit) {
    snprintf(buffer + n, sizeof buffer - n, "- %s", inner->toString().getValue());
  }
  return MString(buffer);
}

int MException::getStreamSize() { return 0; }

void MException::readStream(MInputStream*) {}

void MException::writeStream(MOutputStream*) {}

void MException::print(FILE* _file, int _indent) {
  printIndent(_file, _indent);
  fprintf(_file, "EXCEPTION [%d][%d] %s\n", code, subCode, message.getValue());
  printIndent(_file, _indent);
  fprintf(_file, "   -> %s\n\n", location.getValue());
  if (inner != nullptr) inner->print(_file, _indent + 1);
}
