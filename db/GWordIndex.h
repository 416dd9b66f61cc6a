#ifndef VISTREL_GWORDINDEX_H
#define VISTREL_GWORDINDEX_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "lib/core/MTypes.h"

class GKeywordMatcher;
class GRecordFile;

// The keyword search's index, in memory only: for every word of the image records' keywords
// fields the records that carry it, so that a search reads lists instead of every field.
//
// The search it answers is GKeywordMatcher's over each field: the field's text (up to its
// first zero byte, at most GImageRecord::KEYWORDS_MAX bytes) folded by MUtf8::fold must hold
// every search word as a substring. A search word holds no blank (the search splits at
// blanks), so it occurs in the text exactly when it occurs inside one of the text's words,
// the runs of bytes between blanks. The index therefore keeps
//   words     each distinct folded word once, also packed into one text (zero-separated)
//             through which a search word is looked for as a substring: the words that
//             hold it
//   postings  per word the records carrying it, in record order (the order of the ids, as
//             the result is listed)
//   statuses  per record its status byte, for the filter by status
// A search takes, per search word, the union of the postings of the words holding it, and
// intersects these sets smallest first. A search word with a blank (only a direct caller
// can pass one) is checked against the record's field itself.
//
// Kept in step by the caller: remove(record as it was) before a write, add(record as it is)
// after it. Not thread-safe; the database's lock guards it.
class GWordIndex {
 public:
  GWordIndex();
  GWordIndex(const GWordIndex&) = delete;
  GWordIndex& operator=(const GWordIndex&) = delete;

  void clear();
  // Files the image record _record (472 bytes, in use) under _index, and takes it out.
  void add(int _index, const uchar* _record);
  void remove(int _index, const uchar* _record);

  // The records of status _status whose keywords field _matcher accepts, in record order;
  // none when the matcher matches nothing. _images is the file the records are in, read
  // only for search words with a blank.
  void find(const GKeywordMatcher& _matcher, uchar _status, const GRecordFile& _images,
            std::vector<int>& _records) const;

  // The number of distinct words filed, for tests and the benchmark.
  size_t wordCount() const { return live; }

 private:
  typedef std::vector<int> List;
  // The words of a record's keywords field as the search sees them, each once.
  static void wordsOf(const uchar* _record, std::vector<std::string>& _words);
  int wordId(const std::string& _word, bool _create);
  // The word ids whose text holds _word.
  void holding(const std::string& _word, std::vector<int>& _ids) const;
  void repack();
  // The records of _status holding every word of _words (no blanks in them).
  void findIndexed(const std::vector<const std::string*>& _words, uchar _status,
                   std::vector<int>& _records) const;

  std::vector<std::string> texts;  // by word id
  std::vector<List> postings;      // by word id
  std::unordered_map<std::string, int> ids;
  // The words' texts one after another, each followed by a zero byte, and where each starts.
  std::string packed;
  std::vector<uint32_t> starts;  // by word id
  size_t live;  // words with a posting
  std::vector<uchar> statuses;  // by record; 0xff for none
  // Scratch room for wordsOf.
  std::vector<std::string> scratch;
};

#endif
