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

// A small table of tag texts, each in one of the two places of the pair its
// key hashes to; a new text takes the first place and moves the one there to
// the second, replacing the one there. Texts longer than kMostText
// are not kept (names of the definition file can be long): they are
// composed every time.
class StateTagCache {
 public:
  static constexpr size_t kMostText = 64;

  struct Entry {
    StateTagKey key{};
    // The text's length; kNone while the entry holds no text.
    uint32_t size = kNone;
    char text[kMostText] = {};
  };
  static constexpr uint32_t kNone = UINT32_MAX;

  // The entry that holds the text of `key`, or nullptr.
  const Entry* Find(const StateTagKey& key) const {
    const Entry* pair = entries_ + Pair(key);
    if (pair[0].size != kNone && pair[0].key == key) return &pair[0];
    if (pair[1].size != kNone && pair[1].key == key) return &pair[1];
    return nullptr;
  }

  // Keeps `text` as the text of `key` when it fits (and forgets the text of
  // `key` when it does not).
  void Put(const StateTagKey& key, std::string_view text) {
    Entry* pair = entries_ + Pair(key);
    Entry* e = pair[1].key == key ? &pair[1] : &pair[0];
    if (text.size() > kMostText) {
      if (e->key == key) e->size = kNone;
      return;
    }
    if (e == &pair[0] && pair[0].size != kNone && !(pair[0].key == key)) pair[1] = pair[0];
    e->key = key;
    if (!text.empty()) std::memcpy(e->text, text.data(), text.size());
    e->size = static_cast<uint32_t>(text.size());
  }

 private:
  static constexpr size_t kPairs = 32;
  // The first of the two places of `k`'s pair.
  static size_t Pair(const StateTagKey& k) {
    uint64_t h = k.part[0] * 0x9E3779B97F4A7C15ULL ^ k.part[1] * 0xC2B2AE3D27D4EB4FULL ^
                 k.part[2] * 0x165667B19E3779F9ULL ^ k.part[3] * 0xD6E8FEB86659FD93ULL;
    return 2 * static_cast<size_t>((h ^ h >> 31) >> 59);
  }
  Entry entries_[2 * kPairs];
};
static_assert(StateTagCache::kMostText % 8 == 0);

// The texts of the tags of one setting changed alone (a font, a square size,
// a line spacing: most changes of a job), each kept by one word that tells
// which change it was and everything its text depends on (see
// SingleJChangeKey and SingleGChangeKey in typo/state_tag_text.h), in one of
// the two places of the pair the word hashes to, as in StateTagCache. Found
// with a comparison or two, without the four-word key of StateTagCache.
class SingleChangeTexts {
 public:
  static constexpr size_t kMostText = 48;

  struct Entry {
    // 0 while the entry holds no text (no key is 0).
    uint64_t key = 0;
    uint32_t size = 0;
    char text[kMostText] = {};
  };

  // The entry that holds the text of `key`, or nullptr.
  const Entry* Find(uint64_t key) const {
    const Entry* pair = entries_ + Pair(key);
    if (pair[0].key == key) return &pair[0];
    if (pair[1].key == key) return &pair[1];
    return nullptr;
  }

  // Keeps `text` as the text of `key` in the first place of its pair, the
  // text there moving to the second; a text longer than kMostText is not
  // kept.
  void Put(uint64_t key, std::string_view text) {
    if (text.size() > kMostText) return;
    Entry* pair = entries_ + Pair(key);
    if (pair[0].key != key) pair[1] = pair[0];
    pair[0].key = key;
    if (!text.empty()) std::memcpy(pair[0].text, text.data(), text.size());
    pair[0].size = static_cast<uint32_t>(text.size());
  }

 private:
  static constexpr int kPairBits = 4;
  // The first of the two places of `key`'s pair.
  static size_t Pair(uint64_t key) {
    return 2 * static_cast<size_t>((key * 0x9E3779B97F4A7C15ULL) >> (64 - kPairBits));
  }
  Entry entries_[size_t{2} << kPairBits];
};
static_assert(SingleChangeTexts::kMostText % 16 == 0);

}  // namespace velkan
