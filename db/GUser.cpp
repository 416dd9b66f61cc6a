#include "db/GUser.h"

#include "db/GPasswordHash.h"
#include "lib/core/MException.h"
#include "lib/core/MInputStream.h"
#include "lib/core/MOutputStream.h"

GUser::GUser()
    : id(-1),
      type(0),
      enabled(false),
      generation(0),
      reserved2(0),
      language("eng"),
      imageLimit(100),
      imageAccept(true),
      folderAccept(true),
      folderAdmin(false),
      imageUpload(false),
      imageDownload(false) {}

GUser::GUser(const GUser& _other)
    : MObject(_other),
      id(_other.id),
      type(_other.type),
      enabled(_other.enabled),
      generation(_other.generation),
      reserved2(_other.reserved2),
      username(_other.username),
      password(_other.password),
      firstname(_other.firstname),
      lastname(_other.lastname),
      language(_other.language),
      email(_other.email),
      imageLimit(_other.imageLimit),
      imageAccept(_other.imageAccept),
      folderAccept(_other.folderAccept),
      folderAdmin(_other.folderAdmin),
      imageUpload(_other.imageUpload),
      imageDownload(_other.imageDownload) {}

GUser& GUser::operator=(const GUser& _other) {
  id = _other.id;
  type = _other.type;
  enabled = _other.enabled;
  generation = _other.generation;
  reserved2 = _other.reserved2;
  username = _other.username;
  password = _other.password;
  firstname = _other.firstname;
  lastname = _other.lastname;
  language = _other.language;
  email = _other.email;
  imageLimit = _other.imageLimit;
  imageAccept = _other.imageAccept;
  folderAccept = _other.folderAccept;
  folderAdmin = _other.folderAdmin;
  imageUpload = _other.imageUpload;
  imageDownload = _other.imageDownload;
  return *this;
}

GUser::~GUser() {}

MObject* GUser::newObject() { return new GUser(); }

MObject* GUser::duplicate() { return new GUser(*this); }

uchar GUser::getType() { return 0; }

MString GUser::getTypeName() { return MString("GUser"); }

MString GUser::toString() {
  return MString::format(
      "GUser: id=%d, username=%s, firstname=%s, lastname=%s, password=%s, upload=%d, download=%d",
      id, username.getValue(), firstname.getValue(), lastname.getValue(),
      GPasswordHash::describe(password),
      (int)imageUpload, (int)imageDownload);
}

int GUser::getStreamSize() {
  return 27 + username.getStreamSize() + password.getStreamSize() + firstname.getStreamSize() +
         lastname.getStreamSize() + language.getStreamSize() + email.getStreamSize();
}

void GUser::readStream(MInputStream* _stream) try {
  if (_stream->getNextByte() != 0) throw MException("### TYPE ###", "Wrong type");
  // Read into a scratch account first, so that a record cut short leaves this one unchanged.
  GUser read;
  uchar typeCode;
  *_stream >> typeCode >> read.id >> read.type >> read.enabled >> read.generation >>
      read.reserved2;
  *_stream >> read.username >> read.password >> read.firstname >> read.lastname >>
      read.language >> read.email;
  *_stream >> read.imageLimit >> read.imageAccept >> read.folderAccept >> read.folderAdmin >>
      read.imageUpload >> read.imageDownload;
  *this = read;
} M_RETHROW("void GUser::readStream(MInputStream *_stream)")

void GUser::writeStream(MOutputStream* _stream) try {
  *_stream << (uchar)0 << id << type << enabled << generation << reserved2;
  *_stream << username << password << firstname << lastname << language << email;
  *_stream << imageLimit << imageAccept << folderAccept << folderAdmin << imageUpload
           << imageDownload;
} M_RETHROW("void GUser::writeStream(MOutputStream *_stream)")

void GUser::print(FILE* _file, int _indent) {
  printIndent(_file, _indent);
  fprintf(_file, "%s\n", toString().getValue());
}
