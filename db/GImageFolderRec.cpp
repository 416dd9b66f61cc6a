#include "db/GImageFolderRec.h"

#include <cstring>

#include "db/GRecordBytes.h"

void GImageFolderRec::encode(uchar* _record) const {
  memset(_record, 0, SIZE);
  GRecordBytes::putUInt(_record, CREATION_TIME, creationTime);
  GRecordBytes::putInt(_record, FOLDER, folder);
  GRecordBytes::putInt(_record, USER, user);
  GRecordBytes::putInt(_record, IMAGE, image);
  _record[STATUS] = status;
}

void GImageFolderRec::decode(const uchar* _record) {
  creationTime = GRecordBytes::getUInt(_record, CREATION_TIME);
  folder = GRecordBytes::getInt(_record, FOLDER);
  user = GRecordBytes::getInt(_record, USER);
  image = GRecordBytes::getInt(_record, IMAGE);
  status = _record[STATUS];
}
