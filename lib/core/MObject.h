#ifndef VISTREL_MOBJECT_H
#define VISTREL_MOBJECT_H

#include <cstdio>

#include "lib/core/MTypes.h"

class MString;
class MInputStream;
class MOutputStream;

// Root of every object that is stored in a container, compared, printed or serialised.
// The virtual operations keep this slot order: the destructor, setOwner, getOwner, newObject,
// duplicate, getType, getTypeName, isKindOf (name), isKindOf (code), toString, toInt, toInt64,
// isNumeric, isContainer, isEqual, getStreamSize, toIdString, compare, setValue, readStream,
// writeStream, print, printIndent.
//
// Ownership: a container that takes an object sets its owner; the owner deletes it.
class MObject {
 public:
  MObject();
  MObject(const MObject& _other);  // the owner is not copied
  // Registering constructor: the static registration objects use it to add a freshly made
  // prototype to the type registry.
  explicit MObject(MObject* _prototype);
  MObject& operator=(const MObject&) { return *this; }  // owner stays

  virtual ~MObject();
  virtual void setOwner(MObject* _owner);
  virtual MObject* getOwner();
  virtual MObject* newObject();
  virtual MObject* duplicate();
  virtual uchar getType();
  virtual MString getTypeName();
  virtual bool isKindOf(const char* _name);
  virtual bool isKindOf(uchar _type);
  virtual MString toString();
  virtual int toInt();
  virtual Int64 toInt64();
  virtual bool isNumeric();
  virtual bool isContainer();
  virtual bool isEqual(MObject* _object);
  virtual int getStreamSize();
  virtual MString toIdString();
  // -2 when incomparable; otherwise positive when this object orders before _object.
  virtual int compare(MObject* _object);
  virtual void setValue(MObject* _object);
  virtual void readStream(MInputStream* _stream);
  virtual void writeStream(MOutputStream* _stream);
  virtual void print(FILE* _file, int _indent);
  virtual void printIndent(FILE* _file, int _count);

  // The identity value: the object's address, unique among live objects.
  UInt64 identity() const { return (UInt64)(uintptr_t)this; }

 protected:
  MObject* owner;
};

// The default toInt/toInt64 rule shared by every class that does not override them: the
// number the text spells when it is all digits, 0 when empty, otherwise the identity value.
Int64 objectTextToInt64(MObject* _object, bool _wide);

#endif
