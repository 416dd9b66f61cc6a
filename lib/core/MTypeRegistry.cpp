#include "lib/core/MTypeRegistry.h"

#include "lib/core/MArray.h"
#include "lib/core/MBoolean.h"
#include "lib/core/MDataStream.h"
#include "lib/core/MException.h"
#include "lib/core/MInt16.h"
#include "lib/core/MInt32.h"
#include "lib/core/MInt64.h"
#include "lib/core/MInt8.h"
#include "lib/core/MList.h"
#include "lib/core/MNull.h"
#include "lib/core/MRoundBuffer.h"
#include "lib/core/MString.h"
#include "lib/core/MUInt16.h"
#include "lib/core/MUInt32.h"
#include "lib/core/MUInt64.h"
#include "lib/core/MUInt8.h"

MTypeRegistry& MTypeRegistry::instance() {
  // Made on first use, so that registrations from any translation unit find it ready.
  static MTypeRegistry registry;
  return registry;
}

MTypeRegistry::MTypeRegistry() {
  for (MObject*& p : prototypes) p = nullptr;
  // The core library's own classes, in the order they have always been registered. They are
  // named here rather than by registration objects in their own files: a static library
  // only links the object files something refers to, so a registration object alone could
  // silently drop its class from a program that never names it, and records of that type
  // would then fail to read. Classes of other layers (MAddress) register through
  // registration objects of their own.
  registerPrototype(new MArray());
  registerPrototype(new MBoolean());
  registerPrototype(new MDataStream());
  registerPrototype(new MException());
  registerPrototype(new MInt16());
  registerPrototype(new MInt32());
  registerPrototype(new MInt64());
  registerPrototype(new MInt8());
  registerPrototype(new MList());
  registerPrototype(new MNull());
  registerPrototype(new MObject());
  registerPrototype(new MRoundBuffer());
  registerPrototype(new MString());
  registerPrototype(new MUInt16());
  registerPrototype(new MUInt32());
  registerPrototype(new MUInt64());
  registerPrototype(new MUInt8());
}

MTypeRegistry::~MTypeRegistry() {
  for (MObject*& p : prototypes) {
    delete p;
    p = nullptr;
  }
}

void MTypeRegistry::registerPrototype(MObject* _prototype) {
  if (_prototype == nullptr) return;
  uchar code = _prototype->getType();
  if (prototypes[code] == nullptr) {
    prototypes[code] = _prototype;
  } else if (prototypes[code] != _prototype) {
    delete _prototype;  // a later registration of a taken code is dropped
  }
}

MObject* MTypeRegistry::newObject(uchar _type) {
  MObject* prototype = prototypes[_type];
  return prototype ? prototype->newObject() : nullptr;
}

MObject* MTypeRegistry::getPrototype(uchar _type) { return prototypes[_type]; }

void MTypeRegistry::printRegistry() {
  for (int code = 0; code < 256; ++code) {
    if (prototypes[code] != nullptr)
      printf("REG %d %s\n", code, prototypes[code]->getTypeName().getValue());
  }
}
