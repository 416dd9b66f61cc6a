#ifndef VISTREL_GDATABASEINDEX_H
#define VISTREL_GDATABASEINDEX_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/GRecordObserver.h"
#include "db/GWordIndex.h"

class GKeywordMatcher;
class GRecordFile;

// What the database looks up without reading whole files, derived from the records alone
// and kept only in memory: built from the four files at start, then kept in step with every
// write through GRecordObserver (a record is taken out as it was before a write and put
// back as it is after it). Lists hold record numbers, each in the order its page shows it.
//
//   free records     per file, the free records (users, images, folders: id < 0; links:
//                    folder and image < 0); an addition takes the first
//   users by name    the records in use holding a name, in record order
//   images by user   the records in use of an owner, the newest (creation time) first,
//                    records of one time in record order
//   images by status the records in use of a status, in record order
//   links by folder  the links of a folder (folder >= 0), in record order
//   links by image   the links of an image (image >= 0), in record order
//   words            the words of the keywords fields of the image records in use
//                    (GWordIndex), for the keyword search
class GDatabaseIndex : public GRecordObserver {
 public:
  GDatabaseIndex(GRecordFile& _users, GRecordFile& _images, GRecordFile& _folders,
                 GRecordFile& _links);
  ~GDatabaseIndex() override;
  GDatabaseIndex(const GDatabaseIndex&) = delete;
  GDatabaseIndex& operator=(const GDatabaseIndex&) = delete;

  // Forgets everything and reads the four files again.
  void rebuild();

  void forget(GRecordFile& _file, int _index, const uchar* _record) override;
  void learn(GRecordFile& _file, int _index, const uchar* _record) override;

  // The free records of the file, in order (none for a file not indexed here); the set
  // stays the same object for the index's lifetime.
  const std::set<int>& freeRecords(GRecordFile& _file) const;
  // The first user record in use holding the name (of _length bytes), or -1.
  int userByName(const char* _name, size_t _length) const;
  int imageCount() const { return imagesInUse; }
  // Lists by their key; an empty list for a key without records.
  const std::vector<int>& userImages(int _user) const;
  const std::vector<int>& imagesWithStatus(uchar _status) const;
  const std::vector<int>& folderLinks(int _folder) const;
  // The links of an image, in record order.
  void imageLinks(int _image, std::vector<int>& _records) const;
  // The image records in use of a status whose keywords the matcher accepts, in record
  // order.
  void matchKeywords(uchar _status, const GKeywordMatcher& _matcher,
                     std::vector<int>& _records) const;

 private:
  typedef std::vector<int> List;
  // Which of the four files; -1 for none of them.
  int which(GRecordFile& _file) const;
  void change(GRecordFile& _file, int _index, const uchar* _record, bool _add);
  void changeUser(int _index, const uchar* _record, bool _add);
  void changeImage(int _index, const uchar* _record, bool _add);
  void changeLink(int _index, const uchar* _record, bool _add);
  // Orders of the lists: record order, and the newest image first.
  static void insertSorted(List& _list, int _index);
  void insertByTime(List& _list, int _index);
  static void eraseSorted(List& _list, int _index);
  void eraseByTime(List& _list, int _index);
  uint32_t creationTime(int _imageIndex) const;
  bool newerFirst(int _a, int _b) const;

  GRecordFile* files[4];  // users, images, folders, links
  std::set<int> free[4];
  std::unordered_map<std::string, List> usersByName;
  std::unordered_map<int, List> imagesByUser;
  std::map<int, List> imagesByStatus;
  std::unordered_map<int, List> linksByFolder;
  // (image, link record) in order: far fewer allocations than a list per image.
  std::vector<std::pair<int, int>> linksByImage;
  int imagesInUse;
  GWordIndex words;
  const List none;
  const std::set<int> noneFree;
};

#endif
