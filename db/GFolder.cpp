#include "db/GFolder.h"

GFolder::GFolder() : id(0), enabled(true), parentId(0), ownerId(0), imageFolder(false) {}

GFolder::GFolder(const GFolder& _other)
    : MObject(_other),
      id(_other.id),
      enabled(_other.enabled),
      parentId(_other.parentId),
      ownerId(_other.ownerId),
      name(_other.name),
      imageFolder(_other.imageFolder) {}

GFolder::~GFolder() {}

GFolder& GFolder::operator=(const GFolder& _other) {
  id = _other.id;
  enabled = _other.enabled;
  parentId = _other.parentId;
  ownerId = _other.ownerId;
  name = _other.name;
  imageFolder = _other.imageFolder;
  return *this;
}

MObject* GFolder::newObject() { return new GFolder(); }

MObject* GFolder::duplicate() { return new GFolder(*this); }

uchar GFolder::getType() { return 0; }

MString GFolder::getTypeName() { return MString("GFolder"); }

MString GFolder::toString() {
  return MString::format("GFolder: id=%d, parentId=%d, name=%s", id, parentId, name.getValue());
}

void GFolder::print(FILE* _file, int _indent) {
  printIndent(_file, _indent);
  fprintf(_file, "%s\n", toString().getValue());
}
