#ifndef VISTREL_MTYPEREGISTRY_H
#define VISTREL_MTYPEREGISTRY_H

#include "lib/core/MObject.h"

// Prototypes by type code, so that a type byte read from a stream becomes an empty object of
// the right class. One registry per process, made on first use, filled before threads start
// and only read afterwards. The first registration of a code wins.
class MTypeRegistry {
 public:
  static MTypeRegistry& instance();

  void registerPrototype(MObject* _prototype);
  MObject* newObject(uchar _type);
  MObject* getPrototype(uchar _type);
  void printRegistry();

  ~MTypeRegistry();

 private:
  MTypeRegistry();
  MObject* prototypes[256];
};

#endif
