#ifndef VISTREL_GDATABASE_H
#define VISTREL_GDATABASE_H

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/GDatabaseIndex.h"
#include "db/GFolder.h"
#include "db/GImage.h"
#include "db/GImageFolder.h"
#include "db/GImageFolderRec.h"
#include "db/GImageStatus.h"
#include "db/GRecordFile.h"
#include "db/GShareLink.h"
#include "db/GUser.h"
#include "lib/core/MString.h"
#include "lib/platform/MMutex.h"

class MList;

// All persistent data except the image files: five files of fixed-size records under
// "<root>/database", mapped into memory (GRecordFile), with indexes kept in memory only
// (GDatabaseIndex, rebuilt at every start). Every read and write works under one mutex;
// reads are memory accesses, every write goes straight to the file as below. Each file is a
// GRecordTable over its record's codec (GUserRecord, GImageRecord, GFolderRecord,
// GImageFolderRec, each holding its field offsets); a new file is one codec, one table in
// GDatabase::Tables opened in init, and one layout below. The first records of a new
// database are GDatabaseSeed's.
//
// Common rules: no file header; record i starts at byte i * record size; integers are
// little-endian (int/uint 32 bits, short 16 bits); a flag is one byte 0 or 1; a text field
// of n bytes holds a zero-terminated string padded with zero bytes, cut to the stated
// number of bytes after the last whole UTF-8 letter that fits; padding is zero. Users,
// images and folders: the record number is the id and a negative id marks a free record; a
// deletion frees the record and the next addition takes the first free one. The byte
// layout is the users' data: existing files must keep opening unchanged.
//
// user.db, 208 bytes per record:
//   off size  field          type
//     0    4  id             int (-1 free)
//     4    4  type           int (0 user, 1 administrator)
//     8    1  enabled        flag
//     9    3  padding
//    12    4  generation     uint, seconds since 1970 when the account was added, unique
//                                among the accounts added since the start (0 in older files)
//    16    4  reserved2      uint
//    20   40  username       text, 39 chars
//    60   30  password       text, 29 chars: a GPasswordHash, empty for none (older
//                                files: in clear, hashed at the start)
//    90   30  firstname      text, 29 chars
//   120   30  lastname       text, 29 chars
//   150    5  language       text, 4 chars
//   155   41  email          text, 39 chars (two zero bytes at the end)
//   196    4  imageLimit     int
//   200    1  imageAccept    flag
//   201    1  folderAccept   flag
//   202    1  folderAdmin    flag
//   203    1  imageUpload    flag
//   204    1  imageDownload  flag
//   205    3  padding
//
// image.db, 472 bytes per record:
//   off size  field          type
//     0    4  id             int (-1 free)
//     4    4  creationTime   uint, seconds since 1970, unique among images
//     8    4  user           int, the owner
//    12    1  status         byte (0 waiting, 1 accepted, 2 denied)
//    13   11  date           text, 10 chars
//    24    2  width          short
//    26    2  height         short
//    28    4  size           int, bytes of the original file
//    32   40  name           text, 39 chars
//    72  200  description    text, 199 chars
//   272  200  keywords       text, 199 chars
//
// folder.db, 120 bytes per record:
//   off size  field          type
//     0    4  id             int (-1 free)
//     4    1  enabled        flag
//     5    3  padding
//     8    4  parentId       int (-1 for the root)
//    12    4  ownerId        int
//    16  100  name           text, 99 chars
//   116    1  imageFolder    flag
//   117    3  padding
//
// folderImage.db, 20 bytes per record (GImageFolderRec; free when folder and image < 0):
//   off size  field          type
//     0    4  creationTime   uint, unique among links
//     4    4  folder         int
//     8    4  user           int, the image's owner when linked
//    12    4  image          int
//    16    1  status         byte (0 waiting, 1 accepted, 2 denied)
//    17    3  padding
//
// sharelink.db, 128 bytes per record (GShareLinkRecord; links for people without an
// account; records are never freed: an ended link stays for its maker's list):
//   off size  field          type
//     0    4  id             int (-1 free)
//     4    1  kind           byte (0 folder, 1 picture)
//     5    1  state          byte (0 live, 1 ended, 2 what it showed is gone, 3 its maker is)
//     6    1  originals      flag
//     7    1  contributions  flag
//     8    4  target         int, the folder or image id
//    12    4  maker          int, the account that made it
//    16   16  token          128 random bits
//    32    4  created        uint, seconds since 1970
//    36    4  expires        uint, seconds since 1970 (0 never)
//    40    4  opened         uint, times its page was opened
//    44    4  lastOpened     uint, seconds since 1970 (0 never)
//    48    4  contributionDay      uint, the day (seconds / 86400) of the count below
//    52    4  contributionsToday   int
//    56   30  password       text, 29 chars: a GPasswordHash, empty for none
//    86    2  padding
//    88   40  name           text, 39 chars
//
// Crash safety: every change is a positioned write straight into the operating system (so a
// crash of the process loses no finished operation), and every operation ends with
// fdatasync (unless durability is switched off), so a finished operation also survives a
// power loss. An addition first writes the whole record still marked free, syncs, then marks
// it in use and syncs; a deletion first marks the record free, syncs, then clears it (a link:
// the mark is all) and syncs; an update is one write of the whole record, then a sync. The
// writes are made under the mutex, the syncs wait outside it (GRecordTable), so that a slow
// disk holds up no reader. A step is written only once the sync before it has returned, and
// another writer's sync can only make a write durable sooner, so concurrent writers keep
// each other's order. Between its steps the record is reserved: readers see it free, no
// other addition takes it, changes over many records pass it by. Readers may see a write
// before its sync has returned; an operation is finished when it returns. Operations of
// several look-ups and writes (the link operations, the first start) hold the mutex
// throughout, and so do those over many records (a user's images or links, folder owners),
// which take the same steps for all their records with one sync per step. An interrupted
// operation therefore leaves each record as before, as after, or (an addition) still free;
// only an update cut by a power loss inside a record may leave a mix of old and new fields,
// each still readable. A torn tail shorter than a record is ignored and later overwritten.
class GDatabase {
 public:
  GDatabase();
  virtual ~GDatabase();
  GDatabase(const GDatabase&) = delete;
  GDatabase& operator=(const GDatabase&) = delete;

  // Opens or creates the five files under "<_directory>/database". A file that can be
  // neither opened nor created ends the process with exit code 1.
  void init(const char* _directory);
  // Durability (fdatasync after every change) is on by default.
  void setDurable(bool _durable);

  // Users. addUser gives the account its id and a new generation (both written back into
  // _user); updateUser keeps the stored id and generation whatever _user holds.
  int addUser(GUser& _user);
  int deleteUser(int _user_id);
  int getUser(int _user_id, GUser& _user);
  int getUserByUsername(const char* _username, GUser& _user);
  int getUsers(MList& _users);
  int updateUser(int _user_id, GUser& _user);

  // Whether the account is still stored as _user knows it: in use under its id, with its
  // generation (not deleted, nor another account that took the freed id since).
  bool hasAccount(const GUser& _user);

  // Images.
  int addImage(GImage& _image);
  // Adds the image as addImage does, but only while its owner (_image.user) exists and owns
  // fewer images than the owner's image limit, its additions under way counted, both read
  // under the lock where the addition takes its record, so that uploads of one user running
  // at the same time cannot pass the limit together. Returns the new id; -1 when the owner
  // has no place left, -2 when it is no longer there.
  int addImageWithinLimit(GImage& _image);
  int getImage(int _image_id, GImage& _image);
  int updateImage(int _image_id, GImage& _image);
  int acceptImage(int _image_id);
  int denyImage(int _image_id);
  int deleteImage(int _image_id);
  void deleteUserImages(int _user_id);
  int getUserImages(int _user_id, MList& _images);
  int getNumOfUserImages(int _user_id, int& _total);
  int getNumOfUserImages(int _user_id);
  int getNumOfImages();
  // Records in use in each record file, by the file's name without its extension.
  std::vector<std::pair<std::string, int>> getRecordCounts();
  // The accepted images whose keywords hold every word (GKeywordMatcher's rule: the words
  // folded, each a substring of the folded field), keyed by id in id order.
  int getImagesByKeywords(MList& _words, MList& _images);
  // The ids of the same images, the highest first: the order the search's pages list them.
  void getImageIdsByKeywords(const std::vector<std::string>& _words, std::vector<int>& _ids);
  int getImagesByStatus(uchar _status, MList& _images);
  // The ids of the images in use, in order, apart by whether the record holds the picture's
  // size (an upload completes its record with it, last).
  void getImageIds(std::vector<int>& _complete, std::vector<int>& _incomplete);

  // One page of a list as a view shows it: the number of entries of the whole list is
  // returned, and the entries from number _first (0 for the first) on, at most _max, are
  // put into the list (cleared first) in the list's order, keyed by their numbers.
  //   the user's images in use, the newest first (GImage)
  int getUserImagesPage(int _user_id, int _first, int _max, MList& _images);
  //   the images in use of a status, by id (GImage)
  int getImagesByStatusPage(uchar _status, int _first, int _max, MList& _images);
  //   the links of a folder to accepted images (only accepted links when _acceptedOnly),
  //   the last link record first (GImageFolder)
  int getFolderImagesPage(int _folder_id, bool _acceptedOnly, int _first, int _max,
                          MList& _imageFolders);
  //   the same with accepted links only, as the image ids alone (the grids of links for
  //   people without an account, which need nothing else)
  int getFolderImageIdsPage(int _folder_id, int _first, int _max, std::vector<int>& _images);

  // The links of one user.
  int getUserImageFolders(int _user_id, MList& _imageFolders);
  void deleteUserImageFolders(int _user_id);

  // Folders.
  int addFolder(GFolder& _folder);
  int updateFolder(int _folder_id, GFolder& _folder);
  int deleteFolder(int _folder_id);
  int getFolder(int _folder_id, GFolder& _folder);
  void changeFolderOwners(int _oldOwner, int _newOwner);
  int getFolders(MList& _folders);
  int getChildFolders(int _parent_folder, MList& _folders);
  bool hasChildFolders(int _parent_folder);
  int getNumOfChildFolders(int _parent_folder);
  void getParentFolders(int _folder, MList& _folders);
  bool isChildFolder(int _folder_id, int _parent_id);
  // "/" followed by the names from below the root down to the folder, separated by "/".
  MString getFolderPath(int _folder_id);

  // Folder-image links.
  int findFolderImage(int _folder_id, int _image_id, GImageFolderRec& _rec, int& _emptyIdx);
  void addFolderImage(int _folder_id, int _image_id, GImageStatus _status);
  void deleteFolderImage(int _folder_id, int _image_id);
  void deleteImageFolders(int _image_id);
  void deleteFolderImages(int _folder_id);
  void acceptFolderImage(int _folder_id, int _image_id);
  void denyFolderImage(int _folder_id, int _image_id);
  void getFolderImages(int _folder_id, MList& _imageFolders);
  int getNumOfFolderImages(int _folder_id);
  void getWaitingFolderImages(MList& _imageFolders);
  void getFolderImages(int _folder_id, int _user_id, MList& _images);
  int getFolderImage(int _folder_id, int _image_id, GImageFolder& _imageFolder);

  // Links for people without an account (GShareLink). A deletion of a folder, an image or
  // an account ends the links to it, and of its maker, before the record goes; links whose
  // folder, image or maker is missing at start are ended then (a crash in between).
  // addShareLink gives the link its id (written back).
  int addShareLink(GShareLink& _link);
  int getShareLink(int _link_id, GShareLink& _link);
  // The link whose token is _token (GShareLink::TOKEN_BYTES), compared in constant time with
  // every record; -1 when none has it.
  int findShareLink(const uchar* _token, GShareLink& _link);
  // The links _maker made (every link for -1), keyed by id.
  int getShareLinks(int _maker, MList& _links);
  // Applies _change to the stored link under the lock and stores it; false when there is
  // none. Id and token stay.
  bool changeShareLink(int _link_id, const std::function<void(GShareLink&)>& _change);

  // Writes the files as one HTML document (texts escaped).
  void htmlDump(const char* _filename);

 protected:
  // Seconds since 1970; the tests replace it to add several records "in one second".
  virtual uint currentTime();

 private:
  // _seed: adds the first records of a new file (GDatabaseSeed); null for a file that
  // starts empty.
  void openFile(GRecordFile& _file, const char* _format, const char* _message,
                void (GDatabase::*_seed)());
  void seedFolders();
  void seedUsers();
  void seedCreationTimes();
  void hashClearPasswords();
  uint nextCreationTime(uint& _last);
  // A link's image record in use under the link's image id, or null.
  const uchar* linkedImage(const uchar* _link);
  // The link records holding _value at _field (folder, user or image), in record order.
  std::vector<int> linksWith(int _field, int _value);
  // The records of getImagesByKeywords, in record order.
  void keywordRecords(const std::vector<std::string>& _words, std::vector<int>& _records);
  // The images of the records numbered in _records from _first on, at most _max of them;
  // returns how many are numbered.
  int imagesPage(const std::vector<int>& _records, int _first, int _max, MList& _images);
  // The links of getFolderImagesPage in its order: _take gets those from number _first on,
  // at most _max of them; returns how many there are. Under the lock.
  int folderPage(int _folder_id, bool _acceptedOnly, int _first, int _max,
                 const std::function<void(const GImageFolderRec&)>& _take);
  void freeLinks(int _field, int _value);
  void setLinkStatus(int _folder_id, int _image_id, GImageStatus _status);
  // The status byte of an image record; -1 when the record is not in use.
  int setImageStatus(int _image_id, GImageStatus _status);

  // Ends the live links _which accepts (state _state), under the lock.
  void endShareLinks(const std::function<bool(const GShareLink&)>& _which, int _state);
  // At start: ends the live links whose target or maker is gone.
  void sweepShareLinks();

  MMutex mutex;
  GRecordFile shareLinkFile;
  GRecordFile imageFile;
  GRecordFile folderImageFile;
  GRecordFile userFile;
  GRecordFile folderFile;
  GDatabaseIndex indexes;
  // The files as GRecordTables (defined with the codecs, in GDatabase.cpp).
  struct Tables;
  std::unique_ptr<Tables> tables;
  uint lastImageTime;
  uint lastLinkTime;
  // The image additions of addImageWithinLimit under way: record number to owner.
  std::map<int, int> imagesUnderWay;
  uint lastUserTime;
  MString directory;
};

#endif
