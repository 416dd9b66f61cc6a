#ifndef VISTREL_MNULL_H
#define VISTREL_MNULL_H

#include "lib/core/MObject.h"

// Holds nothing; the value of key-only container entries. Its record is its type byte.
class MNull : public MObject {
 public:
  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;
};

#endif
