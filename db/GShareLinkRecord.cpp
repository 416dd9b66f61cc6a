#include "db/GShareLinkRecord.h"

#include <cstring>

#include "db/GPasswordHash.h"
#include "db/GRecordBytes.h"
#include "db/GRecordFile.h"
#include "db/GRecordScanner.h"

void GShareLinkRecord::encode(const GShareLink& _link, uchar* _record) {
  memset(_record, 0, SIZE);
  GRecordBytes::putInt(_record, ID, _link.id);
  _record[KIND] = (uchar)_link.kind;
  _record[STATE] = (uchar)_link.state;
  GRecordBytes::putFlag(_record, ORIGINALS, _link.originals);
  GRecordBytes::putFlag(_record, CONTRIBUTIONS, _link.contributions);
  GRecordBytes::putInt(_record, TARGET, _link.target);
  GRecordBytes::putInt(_record, MAKER, _link.maker);
  memcpy(_record + TOKEN, _link.token, GShareLink::TOKEN_BYTES);
  GRecordBytes::putUInt(_record, CREATED, _link.created);
  GRecordBytes::putUInt(_record, EXPIRES, _link.expires);
  GRecordBytes::putUInt(_record, OPENED, _link.opened);
  GRecordBytes::putUInt(_record, LAST_OPENED, _link.lastOpened);
  GRecordBytes::putUInt(_record, CONTRIBUTION_DAY, _link.contributionDay);
  GRecordBytes::putInt(_record, CONTRIBUTIONS_TODAY, _link.contributionsToday);
  GRecordBytes::putText(_record, PASSWORD, 29, _link.password);
  GRecordBytes::putText(_record, NAME, 39, _link.name);
}

void GShareLinkRecord::store(const GShareLink& _link, int _index, uchar* _record) {
  encode(_link, _record);
  GRecordBytes::putInt(_record, ID, _index);
}

void GShareLinkRecord::decode(const uchar* _record, GShareLink& _link) {
  _link.id = GRecordBytes::getInt(_record, ID);
  _link.kind = _record[KIND];
  _link.state = _record[STATE];
  _link.originals = GRecordBytes::getFlag(_record, ORIGINALS);
  _link.contributions = GRecordBytes::getFlag(_record, CONTRIBUTIONS);
  _link.target = GRecordBytes::getInt(_record, TARGET);
  _link.maker = GRecordBytes::getInt(_record, MAKER);
  memcpy(_link.token, _record + TOKEN, GShareLink::TOKEN_BYTES);
  _link.created = GRecordBytes::getUInt(_record, CREATED);
  _link.expires = GRecordBytes::getUInt(_record, EXPIRES);
  _link.opened = GRecordBytes::getUInt(_record, OPENED);
  _link.lastOpened = GRecordBytes::getUInt(_record, LAST_OPENED);
  _link.contributionDay = GRecordBytes::getUInt(_record, CONTRIBUTION_DAY);
  _link.contributionsToday = GRecordBytes::getInt(_record, CONTRIBUTIONS_TODAY);
  _link.password = GRecordBytes::getText(_record, PASSWORD, 29);
  _link.name = GRecordBytes::getText(_record, NAME, 39);
}

void GShareLinkRecord::dump(GRecordFile& _file, FILE* _out) {
  fputs("<H1>Share links</H1>\n", _out);
  fputs("<table style=\"Font-Family: Arial;  Font-size: 12;\" border=1>\n", _out);
  fputs("<tr style=\"Font-weight: bold; background: #E0E000;\"><td>Id</td><td>Kind</td>"
        "<td>Target</td><td>Maker</td><td>State</td><td>Created</td><td>Expires</td>"
        "<td>Password</td><td>Originals</td><td>Contributions</td><td>Opened</td>"
        "<td>LastOpened</td></tr>\n",
        _out);
  GRecordScanner scanner(_file);
  while (const uchar* record = scanner.next()) {
    GShareLink l;
    decode(record, l);
    fprintf(_out,
            "<tr><td>%d</td><td>%d</td><td>%d</td><td>%d</td><td>%d</td><td>%u</td><td>%u</td>"
            "<td>%s</td><td>%d</td><td>%d</td><td>%u</td><td>%u</td></tr>\n",
            l.id, l.kind, l.target, l.maker, l.state, l.created, l.expires,
            GPasswordHash::describe(l.password), (int)l.originals, (int)l.contributions,
            l.opened, l.lastOpened);
  }
  fputs("</table>\n", _out);
}
