#include "db/GImageRecord.h"

#include <cstring>

#include "db/GRecordBytes.h"

void GImageRecord::encode(const GImage& _image, uint _creationTime, uchar* _record) {
  memset(_record, 0, SIZE);
  GRecordBytes::putInt(_record, ID, _image.id);
  GRecordBytes::putUInt(_record, CREATION_TIME, _creationTime);
  GRecordBytes::putInt(_record, USER, _image.user);
  _record[STATUS] = _image.status;
  GRecordBytes::putText(_record, DATE, DATE_MAX, _image.date);
  GRecordBytes::putShort(_record, WIDTH, _image.width);
  GRecordBytes::putShort(_record, HEIGHT, _image.height);
  GRecordBytes::putInt(_record, BYTES, _image.size);
  GRecordBytes::putText(_record, NAME, NAME_MAX, _image.name);
  GRecordBytes::putText(_record, DESCRIPTION, DESCRIPTION_MAX, _image.description);
  GRecordBytes::putText(_record, KEYWORDS, KEYWORDS_MAX, _image.keywords);
}

void GImageRecord::store(const GImage& _image, int _index, uchar* _record) {
  encode(_image, GRecordBytes::getUInt(_record, CREATION_TIME), _record);
  GRecordBytes::putInt(_record, ID, _index);
}

void GImageRecord::decode(const uchar* _record, GImage& _image) {
  _image.id = GRecordBytes::getInt(_record, ID);
  _image.user = GRecordBytes::getInt(_record, USER);
  _image.status = _record[STATUS];
  _image.date = GRecordBytes::getText(_record, DATE, DATE_MAX);
  _image.width = GRecordBytes::getShort(_record, WIDTH);
  _image.height = GRecordBytes::getShort(_record, HEIGHT);
  _image.size = GRecordBytes::getInt(_record, BYTES);
  _image.name = GRecordBytes::getText(_record, NAME, NAME_MAX);
  _image.description = GRecordBytes::getText(_record, DESCRIPTION, DESCRIPTION_MAX);
  _image.keywords = GRecordBytes::getText(_record, KEYWORDS, KEYWORDS_MAX);
}
