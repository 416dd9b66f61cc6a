#ifndef VISTREL_GDATABASEDUMP_H
#define VISTREL_GDATABASEDUMP_H

#include <cstdio>

#include "db/GRecordFile.h"
#include "lib/core/MString.h"

// Writes the four database files as one HTML document: a table per file with one row for
// every whole record, free ones included. Stored texts are data, so they are escaped.
class GDatabaseDump {
 public:
  GDatabaseDump(GRecordFile& _users, GRecordFile& _folders, GRecordFile& _images,
                GRecordFile& _links);

  // The share links as a fifth table (GShareLinkRecord::dump).
  GDatabaseDump& withShareLinks(GRecordFile& _shareLinks) {
    shareLinks = &_shareLinks;
    return *this;
  }
  void write(FILE* _out);
  // The text with &, <, >, " and ' replaced by their character references.
  static MString escape(const MString& _text);

 private:
  void writeUsers(FILE* _out);
  void writeFolders(FILE* _out);
  void writeImages(FILE* _out);
  void writeLinks(FILE* _out);

  GRecordFile& users;
  GRecordFile& folders;
  GRecordFile& images;
  GRecordFile& links;
  GRecordFile* shareLinks = nullptr;
};

#endif
