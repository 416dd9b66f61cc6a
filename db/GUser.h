#ifndef VISTREL_GUSER_H
#define VISTREL_GUSER_H

#include "lib/core/MObject.h"
#include "lib/core/MString.h"

// One user account. A default account is disabled, may keep 100 images, needs acceptance for
// its uploads and publications and has no upload, download or folder administration right.
class GUser : public MObject {
 public:
  GUser();
  GUser(const GUser& _other);
  GUser& operator=(const GUser& _other);
  ~GUser() override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  MString toString() override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;
  void print(FILE* _file, int _indent) override;

  int id;
  int type;  // 0 user, 1 administrator
  bool enabled;
  // The account's creation stamp, set by the database when the account is added and kept by
  // every update: an account added later under a freed id has another one, so that whoever
  // remembers an account (a session, an upload under way) can tell it from its successor.
  // 0 for the accounts of older files.
  uint generation;
  uint reserved2;  // stored as held; nothing sets it
  MString username;
  MString password;
  MString firstname;
  MString lastname;
  MString language;
  MString email;
  int imageLimit;
  bool imageAccept;
  bool folderAccept;
  bool folderAdmin;
  bool imageUpload;
  bool imageDownload;
};

#endif
