#include "lib/net/MAddress.h"

#include <arpa/inet.h>

#include <cstring>

#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"

namespace {
const uchar addressType = 26;
// Adds the prototype to the type registry, so that records of addresses read back.
MObject registration(new MAddress());
}  // namespace

MAddress::MAddress() : address(0) {}

MAddress::MAddress(const char* _address) : address(parse(_address)) {}

MAddress::MAddress(uint _address) : address(_address) {}

MAddress::MAddress(const MAddress& _other) : MObject(_other), address(_other.address) {}

MAddress& MAddress::operator=(const MAddress& _other) {
  address = _other.address;
  return *this;
}

uint MAddress::parse(const char* _address) {
  // inet_addr's rule: a text that is no address becomes INADDR_NONE (all ones).
  if (_address == nullptr) return INADDR_NONE;
  return (uint)inet_addr(_address);
}

void MAddress::setAddress(const char* _address) { address = parse(_address); }

void MAddress::setAddress(uint _address) { address = _address; }

void MAddress::setAddress(const MAddress& _address) { address = _address.address; }

bool MAddress::operator==(const char* _address) const { return address == parse(_address); }

bool MAddress::operator==(const MAddress& _address) const { return address == _address.address; }

bool MAddress::operator==(uint _address) const { return address == _address; }

MObject* MAddress::newObject() { return new MAddress(); }

MObject* MAddress::duplicate() { return new MAddress(*this); }

uchar MAddress::getType() { return addressType; }

MString MAddress::getTypeName() { return MString("MAddress"); }

bool MAddress::isKindOf(const char* _name) {
  return (_name && strcmp(_name, "MAddress") == 0) || MObject::isKindOf(_name);
}

bool MAddress::isKindOf(uchar _type) { return _type == addressType || MObject::isKindOf(_type); }

MString MAddress::toString() {
  char text[INET_ADDRSTRLEN];
  struct in_addr a;
  a.s_addr = address;
  if (inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) return MString();
  return MString(text);
}

int MAddress::getStreamSize() { return 5; }

void MAddress::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != addressType) throw MException("### TYPE ###", "Wrong type");
  uchar type;
  uint value;
  *_stream >> type >> value;
  address = value;
} M_RETHROW("void MAddress::readStream(MInputStream *_stream)")

void MAddress::writeStream(MOutputStream* _stream) try {
  *_stream << (uchar)addressType << (uint)address;
} M_RETHROW("void MAddress::writeStream(MOutputStream *_stream)")
