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

bool GImageFolderRec::inUse(const uchar* _record) {
  return GRecordBytes::getInt(_record, FOLDER) >= 0 || GRecordBytes::getInt(_record, IMAGE) >= 0;
}

void GImageFolderRec::decode(const uchar* _record, GImageFolder& _imageFolder) {
  _imageFolder.folder = GRecordBytes::getInt(_record, FOLDER);
  _imageFolder.user = GRecordBytes::getInt(_record, USER);
  _imageFolder.image = GRecordBytes::getInt(_record, IMAGE);
  _imageFolder.status = _record[STATUS];
}

void GImageFolderRec::unmark(uchar* _record) {
  GRecordBytes::putInt(_record, FOLDER, -1);
  GRecordBytes::putInt(_record, IMAGE, -1);
}

void GImageFolderRec::freeMark(uchar* _mark) {
  for (int field = 0; field < MARK_SIZE; field += 4) GRecordBytes::putInt(_mark, field, -1);
}
