#ifndef VISTREL_GIMAGE_H
#define VISTREL_GIMAGE_H

#include "db/GImageStatus.h"
#include "lib/core/MObject.h"
#include "lib/core/MString.h"

// The description of one stored image. The creation time lives only in the database record.
class GImage : public MObject {
 public:
  GImage();
  GImage(const GImage& _other);
  GImage& operator=(const GImage& _other);
  ~GImage() override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  MString toString() override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;
  void print(FILE* _file, int _indent) override;

  int id;
  int user;  // the owner's id
  GImageStatus status;
  MString date;  // as the user typed it
  short width;
  short height;
  int size;  // bytes of the stored original
  MString name;
  MString description;
  MString keywords;
};

#endif
