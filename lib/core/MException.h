#ifndef VISTREL_MEXCEPTION_H
#define VISTREL_MEXCEPTION_H

#include "lib/core/MObject.h"
#include "lib/core/MString.h"

// The one exception type. Each level holds a location (a "### TAG ###" for a failure noticed
// directly, or the signature of the method passing it on), a message and an owned deep copy
// of the failure it wraps.
class MException : public MObject {
 public:
  MException();
  MException(const char* _location, const char* _message, const MException* _inner = nullptr);
  MException(int _code, int _subCode, const char* _location, const char* _message,
             const MException* _inner = nullptr);
  MException(const MException& _other);
  MException& operator=(const MException& _other);
  ~MException() override;

  MObject* newObject() override;
  MObject* duplicate() override;
  uchar getType() override;
  MString getTypeName() override;
  bool isKindOf(const char* _name) override;
  bool isKindOf(uchar _type) override;
  MString toString() override;
  int getStreamSize() override;
  void readStream(MInputStream* _stream) override;
  void writeStream(MOutputStream* _stream) override;
  void print(FILE* _file, int _indent) override;

  int getCode() const { return code; }
  int getSubCode() const { return subCode; }
  const MString& getLocation() const { return location; }
  const MString& getMessage() const { return message; }
  const MException* getInner() const { return inner; }

 private:
  int code;
  int subCode;
  MString location;
  MString message;
  MException* inner;
};

// Closes a function-try-block: a failure inside the method is raised again one level
// deeper, under the method's own signature text and "Operation failed!".
//   void MString::deleteChar(int _index) try { ... } M_RETHROW("void MString::deleteChar(int _index)")
#define M_RETHROW(_signature)                                  \
  catch (const MException& _caught) {                          \
    throw MException(_signature, "Operation failed!", &_caught); \
  }

// Runs a statement; a failure inside is wrapped in a tag and sentence before it leaves
// (the intermediate levels such as "### ADD ###" / "The object addition failed!").
#define M_WRAP(_tag, _message, _statement)             \
  do {                                                 \
    try {                                              \
      _statement;                                      \
    } catch (const MException& _caught) {              \
      throw MException(_tag, _message, &_caught);      \
    }                                                  \
  } while (0)

#endif
