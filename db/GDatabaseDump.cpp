#include "db/GDatabaseDump.h"

#include "db/GFolderRecord.h"
#include "db/GImageFolderRec.h"
#include "db/GImageRecord.h"
#include "db/GPasswordHash.h"
#include "db/GRecordBytes.h"
#include "db/GRecordScanner.h"
#include "db/GShareLinkRecord.h"
#include "db/GUserRecord.h"

namespace {
const char* kTable = "<table style=\"Font-Family: Arial;  Font-size: 12;\" border=1>\n";
const char* kHeaderRow = "<tr style=\"Font-weight: bold; background: #E0E000;\">";
}  // namespace

GDatabaseDump::GDatabaseDump(GRecordFile& _users, GRecordFile& _folders, GRecordFile& _images,
                             GRecordFile& _links)
    : users(_users), folders(_folders), images(_images), links(_links) {}

MString GDatabaseDump::escape(const MString& _text) {
  MString out;
  for (const char* p = _text.getValue(); *p != 0; ++p) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += *p; break;
    }
  }
  return out;
}

void GDatabaseDump::write(FILE* _out) {
  fputs("<html><body style=\"Font-Family: Arial; Font-size: 12;\">\n", _out);
  writeUsers(_out);
  writeFolders(_out);
  writeImages(_out);
  writeLinks(_out);
  if (shareLinks != nullptr) GShareLinkRecord::dump(*shareLinks, _out);
  fputs("</body></html>\n", _out);
}

void GDatabaseDump::writeUsers(FILE* _out) {
  fputs("<H1>Users</H1>\n", _out);
  fputs(kTable, _out);
  fprintf(_out, "%s%s</tr>\n", kHeaderRow,
          "<td>Id</td><td>Type</td><td>Enabled</td><td width=100>Lastname</td>"
          "<td width=100>Firstname</td><td width=100>Email</td><td width=100>Username</td>"
          "<td width=100>Password</td><td>Images</td><td>Download</td><td>Upload</td>"
          "<td>ImageAccept</td><td>FolderAccept</td><td>FolderAdmin</td>");
  GRecordScanner scanner(users);
  while (const uchar* record = scanner.next()) {
    GUser u;
    GUserRecord::decode(record, u);
    fprintf(_out,
            "<tr><td>%d</td><td>%d</td><td>%d</td><td>%s</td><td>%s</td><td>%s</td><td>%s</td>"
            "<td>%s</td><td>%d</td><td>%d</td><td>%d</td><td>%d</td><td>%d</td><td>%d</td></tr>\n",
            u.id, u.type, (int)u.enabled, escape(u.lastname).getValue(),
            escape(u.firstname).getValue(), escape(u.email).getValue(),
            escape(u.username).getValue(), GPasswordHash::describe(u.password), u.imageLimit,
            (int)u.imageDownload, (int)u.imageUpload, (int)u.imageAccept, (int)u.folderAccept,
            (int)u.folderAdmin);
  }
  fputs("</table>\n", _out);
}

void GDatabaseDump::writeFolders(FILE* _out) {
  fputs("<H1>Folders</H1>\n", _out);
  fputs(kTable, _out);
  fprintf(_out, "%s%s</tr>\n", kHeaderRow,
          "<td>Id</td><td>Parent</td><td>Enabled</td><td>ImageFolder</td>"
          "<td width=200>Name</td><td>Owner</td>");
  GRecordScanner scanner(folders);
  while (const uchar* record = scanner.next()) {
    GFolder f;
    GFolderRecord::decode(record, f);
    fprintf(_out,
            "<tr><td>%d</td><td>%d</td><td>%d</td><td>%d</td><td>%s</td><td>%d</td></tr>\n",
            f.id, f.parentId, (int)f.enabled, (int)f.imageFolder, escape(f.name).getValue(),
            f.ownerId);
  }
  fputs("</table>\n", _out);
}

void GDatabaseDump::writeImages(FILE* _out) {
  fputs("<H1>Images</H1>\n", _out);
  fputs(kTable, _out);
  fprintf(_out, "%s%s</tr>\n", kHeaderRow,
          "<td>Id</td><td>CreationTime</td><td>Status</td><td>User</td><td>Width</td>"
          "<td>Height</td><td>Date</td><td>Name</td><td>Keywords</td><td>Description</td>");
  GRecordScanner scanner(images);
  while (const uchar* record = scanner.next()) {
    GImage i;
    GImageRecord::decode(record, i);
    fprintf(_out,
            "<tr><td>%d</td><td>%u</td><td>%d</td><td>%d</td><td>%d</td><td>%d</td><td>%s</td>"
            "<td>%s</td><td>%s</td><td>%s</td></tr>\n",
            i.id, GRecordBytes::getUInt(record, GImageRecord::CREATION_TIME), (int)i.status,
            i.user, (int)i.width, (int)i.height, escape(i.date).getValue(),
            escape(i.name).getValue(), escape(i.keywords).getValue(),
            escape(i.description).getValue());
  }
  fputs("</table>\n", _out);
}

void GDatabaseDump::writeLinks(FILE* _out) {
  fputs("<H1>Folder images</H1>\n", _out);
  fputs(kTable, _out);
  fprintf(_out, "%s%s</tr>\n", kHeaderRow,
          "<td>CreationTime</td><td>Folder</td><td>Image</td><td>User</td><td>Status</td>");
  GRecordScanner scanner(links);
  while (const uchar* record = scanner.next()) {
    GImageFolderRec l;
    l.decode(record);
    fprintf(_out, "<tr><td>%u</td><td>%d</td><td>%d</td><td>%d</td><td>%d</td></tr>\n",
            l.creationTime, l.folder, l.image, l.user, (int)l.status);
  }
  fputs("</table>\n", _out);
}
