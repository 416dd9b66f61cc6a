#include "db/GWordIndex.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "db/GImageRecord.h"
#include "db/GKeywordMatcher.h"
#include "db/GRecordFile.h"
#include "lib/core/MUtf8.h"

namespace {

const uchar kNoStatus = 0xff;
// Words without a record are dropped once they are this many and more than those with one.
const size_t kDeadToRepack = 4096;
// A word gets a bitmap (a bit per record) once one record in kDenseShare carries it (from
// there the bitmap is not larger than its list), and at least kDenseLeast do.
const size_t kDenseShare = 32;
const size_t kDenseLeast = 16;

void insertSorted(std::vector<int>& _list, int _index) {
  // Records are mostly added at the end.
  if (_list.empty() || _list.back() < _index) {
    _list.push_back(_index);
    return;
  }
  auto at = std::lower_bound(_list.begin(), _list.end(), _index);
  if (*at != _index) _list.insert(at, _index);
}

bool eraseSorted(std::vector<int>& _list, int _index) {
  auto at = std::lower_bound(_list.begin(), _list.end(), _index);
  if (at == _list.end() || *at != _index) return false;
  _list.erase(at);
  return true;
}

// The candidates (sorted) that are also in _list (sorted): a merge when both are of a size,
// a binary search from the last place found when the list is much longer.
void keepCommon(std::vector<int>& _candidates, const std::vector<int>& _list) {
  size_t kept = 0;
  if (_list.size() > 16 * _candidates.size()) {
    auto from = _list.begin();
    for (int record : _candidates) {
      from = std::lower_bound(from, _list.end(), record);
      if (from == _list.end()) break;
      if (*from == record) _candidates[kept++] = record;
    }
  } else {
    auto other = _list.begin();
    for (int record : _candidates) {
      while (other != _list.end() && *other < record) ++other;
      if (other == _list.end()) break;
      if (*other == record) _candidates[kept++] = record;
    }
  }
  _candidates.resize(kept);
}

}  // namespace

GWordIndex::GWordIndex() : live(0) {}

void GWordIndex::clear(int _records) {
  ids.clear();
  texts.clear();
  postings.clear();
  dense.clear();
  packed.clear();
  starts.clear();
  live = 0;
  statuses.assign(_records > 0 ? (size_t)_records : 0, kNoStatus);
}

bool GWordIndex::frequent(const List& _list) const {
  return _list.size() >= kDenseLeast && _list.size() * kDenseShare >= statuses.size();
}

void GWordIndex::setDense(int _word, int _index, bool _set) {
  std::vector<uint64_t>& bits = dense[(size_t)_word];
  size_t block = (size_t)_index / 64;
  if (block >= bits.size()) {
    if (!_set) return;
    bits.resize((statuses.size() + 63) / 64 > block ? (statuses.size() + 63) / 64 : block + 1, 0);
  }
  uint64_t bit = 1ull << (_index % 64);
  bits[block] = _set ? bits[block] | bit : bits[block] & ~bit;
}

bool GWordIndex::inDense(int _word, int _index) const {
  const std::vector<uint64_t>& bits = dense[(size_t)_word];
  size_t block = (size_t)_index / 64;
  return block < bits.size() && ((bits[block] >> (_index % 64)) & 1) != 0;
}

void GWordIndex::wordsOf(const uchar* _record, char* _folded,
                         std::vector<std::string_view>& _words) {
  const char* field = (const char*)_record + GImageRecord::KEYWORDS;
  char* folded = _folded;
  size_t length = MUtf8::fold(field, strnlen(field, GImageRecord::KEYWORDS_MAX), folded);
  _words.clear();
  size_t at = 0;
  while (at < length) {
    if (folded[at] == ' ') {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < length && folded[end] != ' ') ++end;
    // The text's zero bytes cannot occur: it ends at the first one.
    std::string_view word(folded + at, end - at);
    if (std::find(_words.begin(), _words.end(), word) == _words.end()) _words.push_back(word);
    at = end;
  }
}

int GWordIndex::wordId(std::string_view _word, bool _create) {
  auto found = ids.find(_word);
  if (found != ids.end()) return found->second;
  if (!_create) return -1;
  int id = (int)texts.size();
  texts.emplace_back(_word);
  postings.emplace_back();
  dense.emplace_back();
  ids.emplace(std::string_view(texts.back()), id);
  starts.push_back((uint32_t)packed.size());
  packed += _word;
  packed.push_back('\0');
  return id;
}

void GWordIndex::add(int _index, const uchar* _record) {
  if (_index < 0) return;
  if ((size_t)_index >= statuses.size()) statuses.resize((size_t)_index + 1, kNoStatus);
  statuses[(size_t)_index] = _record[GImageRecord::STATUS];
  scratchText.resize(GImageRecord::KEYWORDS_MAX);
  wordsOf(_record, &scratchText[0], scratch);
  for (std::string_view word : scratch) {
    int id = wordId(word, true);
    List& list = postings[(size_t)id];
    if (list.empty()) live++;
    insertSorted(list, _index);
    if (!dense[(size_t)id].empty()) {
      setDense(id, _index, true);
    } else if (frequent(list)) {
      for (int record : list) setDense(id, record, true);
    }
  }
}

void GWordIndex::remove(int _index, const uchar* _record) {
  if (_index < 0 || (size_t)_index >= statuses.size()) return;
  statuses[(size_t)_index] = kNoStatus;
  scratchText.resize(GImageRecord::KEYWORDS_MAX);
  wordsOf(_record, &scratchText[0], scratch);
  for (std::string_view word : scratch) {
    int id = wordId(word, false);
    if (id < 0) continue;
    if (!eraseSorted(postings[(size_t)id], _index)) continue;
    if (!dense[(size_t)id].empty()) setDense(id, _index, false);
    if (postings[(size_t)id].empty()) {
      live--;
      dense[(size_t)id].clear();
      dense[(size_t)id].shrink_to_fit();
    }
  }
  if (texts.size() - live >= kDeadToRepack && texts.size() - live > live) repack();
}

// The words with records keep their order; the others go.
void GWordIndex::repack() {
  std::deque<std::string> oldTexts;
  std::vector<List> oldPostings;
  oldTexts.swap(texts);
  oldPostings.swap(postings);
  std::vector<std::vector<uint64_t>> oldDense;
  oldDense.swap(dense);
  ids.clear();
  packed.clear();
  starts.clear();
  for (size_t i = 0; i < oldTexts.size(); ++i) {
    if (oldPostings[i].empty()) continue;
    int id = wordId(oldTexts[i], true);
    postings[(size_t)id].swap(oldPostings[i]);
    dense[(size_t)id].swap(oldDense[i]);
  }
}

void GWordIndex::holding(const std::string& _word, std::vector<int>& _ids) const {
  _ids.clear();
  if (_word.empty() || _word.find('\0') != std::string::npos) return;
  const char* text = packed.data();
  size_t size = packed.size();
  size_t from = 0;
  while (from < size) {
    const void* hit = memmem(text + from, size - from, _word.data(), _word.size());
    if (hit == nullptr) break;
    // The hit lies inside one word (no zero byte in a search word): the one starting last
    // at or before it. The search goes on after that word.
    uint32_t position = (uint32_t)((const char*)hit - text);
    size_t word = (size_t)(std::upper_bound(starts.begin(), starts.end(), position) - starts.begin()) - 1;
    if (!postings[word].empty()) _ids.push_back((int)word);
    from = word + 1 < starts.size() ? starts[word + 1] : size;
  }
}

void GWordIndex::find(const GKeywordMatcher& _matcher, uchar _status, const GRecordFile& _images,
                      std::vector<int>& _records) const {
  _records.clear();
  if (_matcher.matchesNothing()) return;
  std::vector<const std::string*> indexed;
  bool blank = false;
  for (const std::string& word : _matcher.getWords()) {
    if (word.find(' ') == std::string::npos) {
      indexed.push_back(&word);
    } else {
      blank = true;
    }
  }
  findIndexed(indexed, _status, _records);
  if (!blank) return;
  // A search word with a blank: the candidates are checked against their fields.
  size_t kept = 0;
  for (int record : _records) {
    if (_matcher.matches(_images.record(record) + GImageRecord::KEYWORDS,
                         GImageRecord::KEYWORDS_MAX)) {
      _records[kept++] = record;
    }
  }
  _records.resize(kept);
}

void GWordIndex::findIndexed(const std::vector<const std::string*>& _words, uchar _status,
                             std::vector<int>& _records) const {
  // Per search word the words holding it and how many records they list at most.
  struct Term {
    std::vector<int> words;
    size_t estimate = 0;
  };
  std::vector<Term> terms(_words.size());
  for (size_t i = 0; i < _words.size(); ++i) {
    holding(*_words[i], terms[i].words);
    if (terms[i].words.empty()) return;
    for (int word : terms[i].words) terms[i].estimate += postings[(size_t)word].size();
  }
  std::sort(terms.begin(), terms.end(),
            [](const Term& _a, const Term& _b) { return _a.estimate < _b.estimate; });

  std::vector<int>& candidates = _records;
  std::vector<uint64_t> bits;
  // Marks the records of a term in bits (sized for every record).
  auto mark = [&](const Term& _term) {
    bits.assign((statuses.size() + 63) / 64, 0);
    for (int word : _term.words) {
      for (int record : postings[(size_t)word]) bits[(size_t)record / 64] |= 1ull << (record % 64);
    }
  };
  auto marked = [&](int _record) { return (bits[(size_t)_record / 64] >> (_record % 64)) & 1; };

  if (terms.empty()) {
    for (size_t record = 0; record < statuses.size(); ++record) {
      if (statuses[record] == _status) candidates.push_back((int)record);
    }
    return;
  }
  // A term of one frequent word.
  auto isDense = [&](const Term& _term) {
    return _term.words.size() == 1 && !dense[(size_t)_term.words[0]].empty();
  };
  std::vector<bool> applied(terms.size(), false);
  applied[0] = true;
  const Term& first = terms[0];
  if (isDense(first)) {
    // The bitmaps of every such term at once, a word of bits at a time.
    std::vector<const std::vector<uint64_t>*> maps;
    size_t blocks = SIZE_MAX;
    for (size_t t = 0; t < terms.size(); ++t) {
      if (!isDense(terms[t])) continue;
      maps.push_back(&dense[(size_t)terms[t].words[0]]);
      blocks = std::min(blocks, maps.back()->size());
      applied[t] = true;
    }
    // No more than the smallest term's records come out: written in place, not appended.
    candidates.resize(first.estimate);
    size_t found = 0;
    const uint64_t* one = maps[0]->data();
    const uint64_t* two = maps.size() > 1 ? maps[1]->data() : one;
    for (size_t block = 0; block < blocks; ++block) {
      uint64_t set = one[block] & two[block];
      for (size_t m = 2; m < maps.size() && set != 0; ++m) set &= (*maps[m])[block];
      for (; set != 0; set &= set - 1) {
        if (found == candidates.size()) candidates.resize(found * 2 + 64);  // never, by the lists
        candidates[found++] = (int)(block * 64 + (size_t)__builtin_ctzll(set));
      }
    }
    candidates.resize(found);
  } else if (first.words.size() == 1) {
    candidates = postings[(size_t)first.words[0]];
  } else if (first.estimate * 8 < statuses.size()) {
    for (int word : first.words) {
      const List& list = postings[(size_t)word];
      candidates.insert(candidates.end(), list.begin(), list.end());
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  } else {
    mark(first);
    for (size_t block = 0; block < bits.size(); ++block) {
      for (uint64_t set = bits[block]; set != 0; set &= set - 1) {
        candidates.push_back((int)(block * 64 + (size_t)__builtin_ctzll(set)));
      }
    }
  }
  for (size_t t = 1; t < terms.size() && !candidates.empty(); ++t) {
    const Term& term = terms[t];
    if (applied[t]) continue;
    if (isDense(term)) {
      size_t kept = 0;
      for (int record : candidates) {
        if (inDense(term.words[0], record)) candidates[kept++] = record;
      }
      candidates.resize(kept);
      continue;
    }
    if (term.words.size() == 1) {
      keepCommon(candidates, postings[(size_t)term.words[0]]);
      continue;
    }
    size_t kept = 0;
    if (candidates.size() * term.words.size() * 4 < term.estimate) {
      // Few candidates: each looked up in the lists.
      for (int record : candidates) {
        for (int word : term.words) {
          const List& list = postings[(size_t)word];
          if (std::binary_search(list.begin(), list.end(), record)) {
            candidates[kept++] = record;
            break;
          }
        }
      }
    } else {
      mark(term);
      for (int record : candidates) {
        if (marked(record)) candidates[kept++] = record;
      }
    }
    candidates.resize(kept);
  }
  size_t kept = 0;
  for (int record : candidates) {
    if (statuses[(size_t)record] == _status) candidates[kept++] = record;
  }
  candidates.resize(kept);
}
