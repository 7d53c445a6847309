// The texts of state tags composed before, kept by what they were composed
// from: a setting that goes back to a value it had before (a size, a font,
// a line spacing taking turns) writes its tag with one copy instead of
// composing it again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace velkan {

// Everything a tag's text depends on, packed into four words: the values of
// the settings the tag writes, the set of those that changed, the job's unit
// and direction and the generation of the names (see JTagKey and GTagKey in
// typo/state_tag_text.h). Two keys are equal exactly when their tags are.
struct StateTagKey {
  uint64_t part[4];
  bool operator==(const StateTagKey& o) const {
    return ((part[0] ^ o.part[0]) | (part[1] ^ o.part[1]) | (part[2] ^ o.part[2]) | (part[3] ^ o.part[3])) == 0;
  }
};

// A small table of texts, each in one of the two places of the pair its key
// hashes to (`Pair`, given by the table that uses it). Which places hold a
// text is one word of bits, so a new table costs nothing to start: its
// places are not written until used.
template <typename Key, size_t kMost, size_t kPlaces, typename Bits, size_t (*Pair)(const Key&)>
class PairedTexts {
 public:
  static constexpr size_t kMostText = kMost;

  // A place of the table; its fields mean something only while the table
  // holds a text there.
  struct Entry {
    Key key;
    uint32_t size;  // the text's length
    char text[kMostText];
  };

  // The entry that holds the text of `key`, or nullptr.
  const Entry* Find(const Key& key) const {
    const size_t at = Pair(key);
    if (Holds(at) && entries_[at].key == key) return &entries_[at];
    if (Holds(at + 1) && entries_[at + 1].key == key) return &entries_[at + 1];
    return nullptr;
  }

 protected:
  static Bits Bit(size_t place) { return Bits{1} << place; }
  bool Holds(size_t place) const { return (held_ & Bit(place)) != 0; }
  // Writes `text` (at most kMostText bytes) as the text of `key` at
  // `place`, one of the places of the pair that starts at `at`. Written to
  // the first place, it moves another key's text there to the second.
  void Keep(size_t at, size_t place, const Key& key, std::string_view text) {
    if (place == at && Holds(at) && !(entries_[at].key == key)) {
      entries_[at + 1] = entries_[at];
      held_ |= Bit(at + 1);
    }
    Entry& e = entries_[place];
    e.key = key;
    if (!text.empty()) std::memcpy(e.text, text.data(), text.size());
    e.size = static_cast<uint32_t>(text.size());
    held_ |= Bit(place);
  }

  Bits held_ = 0;  // bit i: place i holds a text
  static_assert(kPlaces <= 8 * sizeof(Bits), "a bit for each place");
  Entry entries_[kPlaces];
};

namespace state_tag_cache_detail {
// The first of the two places of `k`'s pair, among 32 pairs.
inline size_t KeyPair(const StateTagKey& k) {
  uint64_t h = k.part[0] * 0x9E3779B97F4A7C15ULL ^ k.part[1] * 0xC2B2AE3D27D4EB4FULL ^
               k.part[2] * 0x165667B19E3779F9ULL ^ k.part[3] * 0xD6E8FEB86659FD93ULL;
  return 2 * static_cast<size_t>((h ^ h >> 31) >> 59);
}
// The first of the two places of `key`'s pair, among 16 pairs.
inline size_t WordPair(const uint64_t& key) { return 2 * static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> 60); }
}  // namespace state_tag_cache_detail

// The texts of state tags: a new text takes the first place of its pair
// and moves the one there to the second, replacing the one there; a text
// replaced for the same key stays where it is. Texts longer than kMostText
// are not kept (names of the definition file can be long): they are
// composed every time.
class StateTagCache : public PairedTexts<StateTagKey, 64, 64, uint64_t, state_tag_cache_detail::KeyPair> {
 public:
  // Keeps `text` as the text of `key` when it fits (and forgets the text of
  // `key` when it does not).
  void Put(const StateTagKey& key, std::string_view text) {
    const size_t at = state_tag_cache_detail::KeyPair(key);
    const size_t place = Holds(at + 1) && entries_[at + 1].key == key ? at + 1 : at;
    if (text.size() > kMostText) {
      if (Holds(place) && entries_[place].key == key) held_ &= ~Bit(place);
      return;
    }
    Keep(at, place, key, text);
  }
};
static_assert(StateTagCache::kMostText % 8 == 0);

// The texts of the tags of one setting changed alone (a font, a square size,
// a line spacing: most changes of a job), each kept by one word that tells
// which change it was and everything its text depends on (see
// SingleJChangeKey and SingleGChangeKey in typo/state_tag_text.h), as in
// StateTagCache. Found with a comparison or two, without the four-word key
// of StateTagCache.
class SingleChangeTexts : public PairedTexts<uint64_t, 48, 32, uint32_t, state_tag_cache_detail::WordPair> {
 public:
  // Keeps `text` as the text of `key` in the first place of its pair, the
  // text there moving to the second; a text longer than kMostText is not
  // kept.
  void Put(uint64_t key, std::string_view text) {
    if (text.size() > kMostText) return;
    const size_t at = state_tag_cache_detail::WordPair(key);
    Keep(at, at, key, text);
  }
};
static_assert(SingleChangeTexts::kMostText % 16 == 0);

}  // namespace velkan
