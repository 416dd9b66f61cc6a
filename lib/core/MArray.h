#ifndef VISTREL_MARRAY_H
#define VISTREL_MARRAY_H

#include "lib/core/MArrayItem.h"
#include "lib/core/MStorage.h"

// Keyed container kept as an array in ascending key order and searched by bisection. It
// grows in steps of 100 slots; insertions and deletions move the tail.
//
// sortByKey(false) and swapItems reorder the pairs as asked, but a lookup by key relies on
// the ascending order, so after them lookups are only reliable once sortByKey(true) restored it.
class MArray : public MStorage {
 public:
  MArray();
  // Deep copy: every key and value duplicated under the source's lock; uniqueKeys and
  // exceptions are taken over.
  MArray(MArray& _array);
  ~MArray() override;
  MArray& operator=(MArray& _array);

  int getCapacity() const { return capacity; }

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
  void _reserve(int _count) override;

 private:
  void copyFrom(MArray& _array);
  void resize(int _capacity);
  // The item's slot, checked against the array; -1 for an item that is not in it.
  int positionOf(MItem* _item);

  int capacity;
  int count;
  MArrayItem** items;
};

#endif
