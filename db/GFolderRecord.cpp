#include "db/GFolderRecord.h"

#include <cstring>

#include "db/GRecordBytes.h"

void GFolderRecord::encode(const GFolder& _folder, uchar* _record) {
  memset(_record, 0, SIZE);
  GRecordBytes::putInt(_record, ID, _folder.id);
  GRecordBytes::putFlag(_record, ENABLED, _folder.enabled);
  GRecordBytes::putInt(_record, PARENT_ID, _folder.parentId);
  GRecordBytes::putInt(_record, OWNER_ID, _folder.ownerId);
  GRecordBytes::putText(_record, NAME, 99, _folder.name);
  GRecordBytes::putFlag(_record, IMAGE_FOLDER, _folder.imageFolder);
}

void GFolderRecord::store(const GFolder& _folder, int _index, uchar* _record) {
  encode(_folder, _record);
  GRecordBytes::putInt(_record, ID, _index);
}

void GFolderRecord::decode(const uchar* _record, GFolder& _folder) {
  _folder.id = GRecordBytes::getInt(_record, ID);
  _folder.enabled = GRecordBytes::getFlag(_record, ENABLED);
  _folder.parentId = GRecordBytes::getInt(_record, PARENT_ID);
  _folder.ownerId = GRecordBytes::getInt(_record, OWNER_ID);
  _folder.name = GRecordBytes::getText(_record, NAME, 99);
  _folder.imageFolder = GRecordBytes::getFlag(_record, IMAGE_FOLDER);
}
