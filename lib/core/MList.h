#ifndef VISTREL_MLIST_H
#define VISTREL_MLIST_H

#include "lib/core/MListItem.h"
#include "lib/core/MStorage.h"

class MArray;

// Keyed container kept as a doubly linked list, in insertion order, or in key order for the
// items added while the sort mode is on (equal keys keep their insertion order). Lookups by
// key are linear; lookups by position walk from the nearer end.
class MList : public MStorage {
 public:
  MList();
  // Deep copies: every key and value duplicated, duplicate keys included, under the source's
  // lock; uniqueKeys, the sort mode and exceptions are taken over.
  MList(MList& _list);
  MList(const char* _list, char _separator);
  MList(const char* _list, char _startChar, char _endChar);
  ~MList() override;

  MList& operator=(MList& _list);
  // The array's pairs in its (ascending) order; the list is sorted afterwards.
  MList& operator=(MArray& _array);

  // Affects only the items added afterwards.
  void setSortMode(bool _sorted, bool _ascending);
  bool isSorted() const { return sorted; }
  bool isAscending() const { return ascending; }
  // Clears this list and takes over the other's items without copying; the other is left
  // empty.
  void moveDataFrom(MList& _list);
  // Forgets every item without deleting it: whoever took the items over owns them.
  void releaseData();

  int getLength() override;
  MItem* getFirstItem() override;
  MItem* getLastItem() override;
  MItem* getNextItem(MItem* _item) override;
  MItem* getPrevItem(MItem* _item) override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;
  void print(FILE* _file, int _indent) override;

 protected:
  void _addObject(MObject* _key, MObject* _object, bool _release) override;
  MItem* _getItem(MObject* _key) override;
  MItem* _getItemByIndex(int _index) override;
  MItem* _getNearestItem(MObject* _key, int& _index) override;
  void _deleteItem(MItem* _item) override;
  void _clear() override;

 private:
  void copyFrom(MList& _list);
  void append(MListItem* _item);
  void insertBefore(MListItem* _item, MListItem* _before);

  MListItem* first;
  MListItem* last;
  int count;
  bool sorted;
  bool ascending;
};

#endif
