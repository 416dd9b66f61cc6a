#ifndef VISTREL_MSTRING_H
#define VISTREL_MSTRING_H

#include "lib/core/MObject.h"

// Owned, NUL-terminated 8-bit text. No cached length and no spare capacity: every change of
// length builds a new buffer of exactly length + 1 bytes, completely, before the old one is
// released, so assigning a pointer into the string's own buffer is safe. All empty strings
// share one static text and allocate nothing. Comparison is byte-wise and case-sensitive.
// Null C texts count as empty wherever a text is taken.
class MString : public MObject {
 public:
  MString();
  MString(const MString& _other);
  // Takes the other's text without copying it; the other is left empty.
  MString(MString&& _other) noexcept;
  MString(const char* _text);
  MString(const char* _text, int _length);
  MString(const char* _first, const char* _second);
  ~MString() override;

  // Never null; valid until the next change of the string.
  char* getValue() const { return value; }
  int getLength() const;

  void setValue(const char* _text);
  void setValue(Int64 _value);
  void setValue(int _value);
  void setValue(MObject* _object) override;
  MString& operator=(const char* _text);
  MString& operator=(const MString& _other);
  MString& operator=(MString&& _other) noexcept;
  MString& operator=(MObject* _object);

  bool operator==(const MString& _other) const;
  bool operator==(const char* _text) const;
  bool operator!=(const MString& _other) const;
  bool operator!=(const char* _text) const;

  char getChar(int _index) const;
  void setChar(int _index, char _ch);
  int findChar(char _ch) const;
  int findLastChar(char _ch) const;
  void replaceChar(char _from, char _to);

  void deleteChar(int _index);
  void deleteChars(int _startIdx, int _chars);
  void insertChar(int _index, char _ch);
  void insertString(int _index, const char* _str);

  MString& operator+=(const char* _text);
  MString& operator+=(const MString& _text);
  MString& operator+=(char _ch);
  MString& operator+=(short _value);
  MString& operator+=(int _value);
  MString& operator+=(uchar _value);
  MString& operator+=(ushort _value);
  MString& operator+=(uint _value);

  // The numeric readings of the text: the C library's atoi for 32 bits and less, and the
  // right-to-left digit scan for 64 bits.
  int toInt32Value() const;
  Int64 toInt64Value() const;
  static Int64 textToInt64(const char* _text);
  static MString int64ToText(Int64 _value);
  // printf-style construction, for the fixed formats of pages and file names.
  static MString format(const char* _format, ...) __attribute__((format(printf, 1, 2)));

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  // As MObject's, without copying either text.
  int compare(MObject* _object) override;
  bool isNumeric() override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;

 protected:
  // For a lookup key that only borrows a text for its short life (so that finding an item
  // by a text allocates nothing): the text is not copied and must outlive the object, and
  // the subclass hands it back with giveBack before this class's destructor runs.
  struct Borrowed {};
  MString(Borrowed, const char* _text);
  void giveBack();

 private:
  // Takes a buffer of exactly length + 1 bytes (or the shared empty text) as the new value.
  void adopt(char* _buffer);
  static char* copyText(const char* _text, int _length);

  char* value;
};

#endif
