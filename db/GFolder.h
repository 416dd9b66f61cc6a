#ifndef VISTREL_GFOLDER_H
#define VISTREL_GFOLDER_H

#include "lib/core/MObject.h"
#include "lib/core/MString.h"

// One folder of the tree. It has no byte record of its own (stream size 0).
class GFolder : public MObject {
 public:
  GFolder();
  GFolder(const GFolder& _other);
  ~GFolder() override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  MString toString() override;
  void print(FILE* _file, int _indent) override;
  virtual GFolder& operator=(const GFolder& _other);

  int id;
  bool enabled;
  int parentId;  // -1 for the root folder
  int ownerId;
  MString name;
  bool imageFolder;  // holds images rather than only sub-folders
};

#endif
