#include "db/GImage.h"

#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"

GImage::GImage() : id(0), user(0), status(0), width(0), height(0), size(0) {}

GImage::GImage(const GImage& _other)
    : MObject(_other),
      id(_other.id),
      user(_other.user),
      status(_other.status),
      date(_other.date),
      width(_other.width),
      height(_other.height),
      size(_other.size),
      name(_other.name),
      description(_other.description),
      keywords(_other.keywords) {}

GImage& GImage::operator=(const GImage& _other) {
  id = _other.id;
  user = _other.user;
  status = _other.status;
  date = _other.date;
  width = _other.width;
  height = _other.height;
  size = _other.size;
  name = _other.name;
  description = _other.description;
  keywords = _other.keywords;
  return *this;
}

GImage::~GImage() {}

MObject* GImage::newObject() { return new GImage(); }

MObject* GImage::duplicate() { return new GImage(*this); }

uchar GImage::getType() { return 0; }

MString GImage::getTypeName() { return MString("GImage"); }

MString GImage::toString() {
  return MString::format("GImage: id=%d, user=%d, status=%d, date=%s, width=%d, height=%d, size=%d",
                         id, user, (int)status, date.getValue(), (int)width, (int)height, size);
}

int GImage::getStreamSize() {
  return 18 + date.getStreamSize() + name.getStreamSize() + description.getStreamSize() +
         keywords.getStreamSize();
}

void GImage::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != 0) throw MException("### TYPE ###", "Wrong type");
  // Read into a scratch image first, so that a record cut short leaves this one unchanged.
  GImage read;
  uchar typeCode;
  *_stream >> typeCode >> read.id >> read.user >> read.status >> read.date >> read.width >>
      read.height >> read.size >> read.name >> read.description >> read.keywords;
  *this = read;
} M_RETHROW("void GImage::readStream(MInputStream *_stream)")

void GImage::writeStream(MOutputStream* _stream) try {
  *_stream << (uchar)0 << id << user << status << date << width << height << size << name
           << description << keywords;
} M_RETHROW("void GImage::writeStream(MOutputStream *_stream)")

void GImage::print(FILE* _file, int _indent) {
  printIndent(_file, _indent);
  fprintf(_file, "%s\n", toString().getValue());
}
