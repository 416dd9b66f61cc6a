#ifndef VISTREL_MADDRESS_H
#define VISTREL_MADDRESS_H

#include "lib/core/MObject.h"
#include "lib/core/MString.h"

// An IPv4 address, held as the 32-bit value in network byte order. A text that is not an
// address gives the all-ones value (255.255.255.255), as the C library's conversion does.
class MAddress : public MObject {
 public:
  MAddress();
  explicit MAddress(const char* _address);
  explicit MAddress(uint _address);
  MAddress(const MAddress& _other);
  MAddress& operator=(const MAddress& _other);

  void setAddress(const char* _address);
  void setAddress(uint _address);
  void setAddress(const MAddress& _address);
  uint getAddress() const { return address; }

  bool operator==(const char* _address) const;
  bool operator==(const MAddress& _address) const;
  bool operator==(uint _address) const;

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

 private:
  static uint parse(const char* _address);
  uint address;
};

#endif
