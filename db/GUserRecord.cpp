#include "db/GUserRecord.h"

#include <cstring>

#include "db/GRecordBytes.h"

void GUserRecord::encode(const GUser& _user, uchar* _record) {
  memset(_record, 0, SIZE);
  GRecordBytes::putInt(_record, ID, _user.id);
  GRecordBytes::putInt(_record, TYPE, _user.type);
  GRecordBytes::putFlag(_record, ENABLED, _user.enabled);
  GRecordBytes::putUInt(_record, GENERATION, _user.generation);
  GRecordBytes::putUInt(_record, RESERVED2, _user.reserved2);
  GRecordBytes::putText(_record, USERNAME, 39, _user.username);
  GRecordBytes::putText(_record, PASSWORD, 29, _user.password);
  GRecordBytes::putText(_record, FIRSTNAME, 29, _user.firstname);
  GRecordBytes::putText(_record, LASTNAME, 29, _user.lastname);
  GRecordBytes::putText(_record, LANGUAGE, 4, _user.language);
  GRecordBytes::putText(_record, EMAIL, 39, _user.email);
  GRecordBytes::putInt(_record, IMAGE_LIMIT, _user.imageLimit);
  GRecordBytes::putFlag(_record, IMAGE_ACCEPT, _user.imageAccept);
  GRecordBytes::putFlag(_record, FOLDER_ACCEPT, _user.folderAccept);
  GRecordBytes::putFlag(_record, FOLDER_ADMIN, _user.folderAdmin);
  GRecordBytes::putFlag(_record, IMAGE_UPLOAD, _user.imageUpload);
  GRecordBytes::putFlag(_record, IMAGE_DOWNLOAD, _user.imageDownload);
}

void GUserRecord::store(const GUser& _user, int _index, uchar* _record) {
  // The generation is the database's: an update keeps what the record holds, an addition
  // sets it (GDatabase::addUser).
  uint generation = GRecordBytes::getUInt(_record, GENERATION);
  encode(_user, _record);
  GRecordBytes::putUInt(_record, GENERATION, generation);
  GRecordBytes::putInt(_record, ID, _index);
}

void GUserRecord::decode(const uchar* _record, GUser& _user) {
  _user.id = GRecordBytes::getInt(_record, ID);
  _user.type = GRecordBytes::getInt(_record, TYPE);
  _user.enabled = GRecordBytes::getFlag(_record, ENABLED);
  _user.generation = GRecordBytes::getUInt(_record, GENERATION);
  _user.reserved2 = GRecordBytes::getUInt(_record, RESERVED2);
  _user.username = GRecordBytes::getText(_record, USERNAME, 39);
  _user.password = GRecordBytes::getText(_record, PASSWORD, 29);
  _user.firstname = GRecordBytes::getText(_record, FIRSTNAME, 29);
  _user.lastname = GRecordBytes::getText(_record, LASTNAME, 29);
  _user.language = GRecordBytes::getText(_record, LANGUAGE, 4);
  _user.email = GRecordBytes::getText(_record, EMAIL, 39);
  _user.imageLimit = GRecordBytes::getInt(_record, IMAGE_LIMIT);
  _user.imageAccept = GRecordBytes::getFlag(_record, IMAGE_ACCEPT);
  _user.folderAccept = GRecordBytes::getFlag(_record, FOLDER_ACCEPT);
  _user.folderAdmin = GRecordBytes::getFlag(_record, FOLDER_ADMIN);
  _user.imageUpload = GRecordBytes::getFlag(_record, IMAGE_UPLOAD);
  _user.imageDownload = GRecordBytes::getFlag(_record, IMAGE_DOWNLOAD);
}
