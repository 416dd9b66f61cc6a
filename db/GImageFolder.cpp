#include "db/GImageFolder.h"

#include "lib/core/MString.h"

GImageFolder::GImageFolder() : folder(0), user(0), image(0), status(0) {}

GImageFolder::GImageFolder(const GImageFolder& _other)
    : MObject(_other),
      folder(_other.folder),
      user(_other.user),
      image(_other.image),
      status(_other.status) {}

GImageFolder::~GImageFolder() {}

GImageFolder& GImageFolder::operator=(const GImageFolder& _other) {
  folder = _other.folder;
  user = _other.user;
  image = _other.image;
  status = _other.status;
  return *this;
}

MObject* GImageFolder::newObject() { return new GImageFolder(); }

MObject* GImageFolder::duplicate() { return new GImageFolder(*this); }

uchar GImageFolder::getType() { return 0; }

MString GImageFolder::getTypeName() { return MString("GImageFolder"); }

MString GImageFolder::toString() {
  return MString::format("GImageFolder: folder=%d, image=%d, user=%d, status=%d", folder, image,
                         user, (int)status);
}

void GImageFolder::print(FILE* _file, int _indent) {
  printIndent(_file, _indent);
  fputs(toString().getValue(), _file);
}
