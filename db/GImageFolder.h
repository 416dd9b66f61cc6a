#ifndef VISTREL_GIMAGEFOLDER_H
#define VISTREL_GIMAGEFOLDER_H

#include "db/GImageStatus.h"
#include "lib/core/MObject.h"

// One publication of an image in a folder, with its own acceptance status. It has no byte
// record of its own (stream size 0).
class GImageFolder : public MObject {
 public:
  GImageFolder();
  GImageFolder(const GImageFolder& _other);
  ~GImageFolder() override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  MString toString() override;
  void print(FILE* _file, int _indent) override;  // without a line feed
  virtual GImageFolder& operator=(const GImageFolder& _other);

  int folder;
  int user;  // the image's owner
  int image;
  GImageStatus status;
};

#endif
