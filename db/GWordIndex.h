#ifndef VISTREL_GWORDINDEX_H
#define VISTREL_GWORDINDEX_H

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
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
//   dense     beside the postings of a frequent word (carried by at least one record in
//             kDenseShare and kDenseLeast records) the same records as a bitmap, so that
//             the common words of a large library intersect a word of bits at a time and a
//             candidate is tested with one bit
//   statuses  per record its status byte, for the filter by status
// A search takes, per search word, the union of the postings of the words holding it, and
// intersects these sets smallest first: the bitmaps of the frequent words among them one
// with the other when the smallest is one of them, else each candidate of the smallest
// looked up in the others. A search word with a blank (only a direct caller can pass one)
// is checked against the record's field itself.
//
// Kept in step by the caller: remove(record as it was) before a write, add(record as it is)
// after it. Not thread-safe; the database's lock guards it.
class GWordIndex {
 public:
  GWordIndex();
  GWordIndex(const GWordIndex&) = delete;
  GWordIndex& operator=(const GWordIndex&) = delete;

  // Forgets everything; _records: how many image records the file holds (a hint for which
  // words count as frequent).
  void clear(int _records);
  // Files the image record _record (472 bytes, in use) under _index, and takes it out.
  void add(int _index, const uchar* _record);
  void remove(int _index, const uchar* _record);

  // The records of status _status whose keywords field _matcher accepts, in record order;
  // none when the matcher matches nothing. _images is the file the records are in, read
  // only for search words with a blank.
  void find(const GKeywordMatcher& _matcher, uchar _status, const GRecordFile& _images,
            std::vector<int>& _records) const;

 private:
  typedef std::vector<int> List;
  // The words of a record's keywords field as the search sees them, each once, pointing
  // into _folded (room for GImageRecord::KEYWORDS_MAX bytes).
  static void wordsOf(const uchar* _record, char* _folded, std::vector<std::string_view>& _words);
  int wordId(std::string_view _word, bool _create);
  // The word ids whose text holds _word.
  void holding(const std::string& _word, std::vector<int>& _ids) const;
  void repack();
  // Whether the word's records are many enough for a bitmap, and sets or clears its bit.
  bool frequent(const List& _list) const;
  void setDense(int _word, int _index, bool _set);
  bool inDense(int _word, int _index) const;
  // The records of _status holding every word of _words (no blanks in them).
  void findIndexed(const std::vector<const std::string*>& _words, uchar _status,
                   std::vector<int>& _records) const;

  std::deque<std::string> texts;  // by word id; a text stays where it is while the word does
  std::vector<List> postings;      // by word id
  std::vector<std::vector<uint64_t>> dense;  // by word id; empty for a word without one
  std::unordered_map<std::string_view, int> ids;  // the keys point into texts
  // The words' texts one after another, each followed by a zero byte, and where each starts.
  std::string packed;
  std::vector<uint32_t> starts;  // by word id
  size_t live;  // words with a posting
  std::vector<uchar> statuses;  // by record; 0xff for none
  // Scratch room for wordsOf.
  std::vector<std::string_view> scratch;
  std::string scratchText;
};

#endif
