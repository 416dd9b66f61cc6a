#ifndef VISTREL_GRESULTLIST_H
#define VISTREL_GRESULTLIST_H

#include <string>
#include <unordered_set>

#include "lib/core/MTypes.h"

class MList;
class MObject;

// Fills a result list whose keys must each occur once. The list itself would compare every
// new key with all keys already in it, which grows with the square of the result; here the
// keys are remembered in a hash set instead, and only a repeated key is handed to the list
// with its own check, so that it fails exactly as the list fails. The list's own setting is
// restored afterwards. Objects the list refuses are deleted, not leaked.
class GResultList {
 public:
  // _clear: empty the list first; otherwise its present keys count as taken.
  GResultList(MList& _list, bool _clear);
  ~GResultList();
  GResultList(const GResultList&) = delete;
  GResultList& operator=(const GResultList&) = delete;

  void add(int _key, MObject* _object);
  void add(uint _key, MObject* _object);
  void add(const char* _key, MObject* _object);
  // The key object is taken over.
  void add(MObject* _key, MObject* _object);
  // A key from a count that only rises (the positions of a page of results): one above
  // every key added this way cannot be taken yet, so it goes in unchecked. Any other key
  // is checked as add checks it.
  void addRising(int _key, MObject* _object);

 private:
  static std::string identity(MObject* _key);

  MList& list;
  bool uniqueKeys;
  // The highest key addRising put in unchecked. Such keys are not in taken until add needs
  // them there (recorded false); once taken holds anything, addRising checks as add does.
  bool recorded = true;
  Int64 highest = -((Int64)1 << 40);
  std::unordered_set<std::string> taken;
};

#endif
