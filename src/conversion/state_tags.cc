#include "conversion/state_tags.h"

#include <cstddef>
#include <cstring>
#include <string_view>

#include "conversion/conversion.h"
#include "conversion/conversion_tags.h"
#include "typo/state_tag_text.h"
#include "typo/typo_state.h"

namespace velkan {

namespace {

// As ConversionTags, keeping what it writes in the cache under `key`.
struct CachingTags : ConversionTags {
  const StateTagKey& key;
  void WriteText(std::string_view text) const {
    c.tagCache.Put(key, text);
    c.out.WriteText(text);
  }
};

// As ConversionTags, keeping what it writes under `key` in the texts of
// single changes.
struct SingleChangeTags : ConversionTags {
  uint64_t key;
  void WriteText(std::string_view text) const {
    c.singleChangeTexts.Put(key, text);
    c.out.WriteText(text);
  }
};

// Writes the text kept in the entry `e` with one copy of fixed size, when the
// output lends room for it: false, having written nothing, when it does not.
template <typename Entry>
[[gnu::always_inline]] inline bool WriteKeptInRoom(Conversion& c, const Entry& e) {
  if (e.size == 0) return true;
  constexpr size_t kCopy = sizeof e.text;
  char* end = nullptr;
  char* room = c.out.Room(end);
  if (end - room < static_cast<ptrdiff_t>(kCopy)) return false;
  std::memcpy(room, e.text, kCopy);
  c.out.Wrote(room + e.size);
  return true;
}

// Writes the text kept in the entry `e`, as the tag's writer would.
template <typename Entry>
[[gnu::always_inline]] inline void WriteKept(Conversion& c, const Entry& e) {
  if (WriteKeptInRoom(c, e)) [[likely]] return;
  c.out.WriteText(std::string_view(e.text, e.size));
}

// The tags composed, a setting changed alone whose text is not kept yet:
// apart from the step's own function, which then keeps few registers.
[[gnu::noinline]] void ComposeSingleJChange(Conversion& c, uint64_t key) { WriteJTag(SingleChangeTags{{c}, key}); }
[[gnu::noinline]] void ComposeSingleGChange(Conversion& c, uint64_t key) { WriteGTag(SingleChangeTags{{c}, key}); }

// A tag whose text is not kept under `key` yet, composed and kept (a tag
// with nothing to write as an empty text): apart from the tag's own
// function, so that the kept path, the common one, sets up no frame for the
// composing.
[[gnu::noinline]] void ComposeJTag(Conversion& c, const StateTagKey& key) {
  c.tagCache.Put(key, {});
  WriteJTag(CachingTags{{c}, key});
}
[[gnu::noinline]] void ComposeGTag(Conversion& c, const StateTagKey& key) {
  c.tagCache.Put(key, {});
  WriteGTag(CachingTags{{c}, key});
}

// Writes the text kept for the single change `key`; false, having written
// nothing, when none is kept.
[[gnu::always_inline]] inline bool WriteSingleChange(Conversion& c, uint64_t key) {
  const SingleChangeTexts::Entry* e = c.singleChangeTexts.Find(key);
  if (e == nullptr) return false;
  WriteKept(c, *e);
  return true;
}

}  // namespace

namespace {

// WriteJTag but for the emitted settings of a kept text, which are left for
// the caller to take (WriteCharacterTagsInFull takes every setting after
// both tags).
[[gnu::noinline]] void WriteJTagLeavingSettings(Conversion& c) {
  const StateTagKey key = JTagKey(c.typo, c.emitted, c.session.settings.unit, c.session.settings.direction == 1,
                                  c.definitions.generation());
  if (const StateTagCache::Entry* e = c.tagCache.Find(key)) {
    WriteKept(c, *e);
    return;
  }
  ComposeJTag(c, key);
}

}  // namespace

void WriteJTag(Conversion& c) {
  WriteJTagLeavingSettings(c);
  TakeJSettings(c.typo, c.emitted);
}

namespace {

// WriteGTag but for the emitted settings of a kept text, as
// WriteJTagLeavingSettings.
[[gnu::noinline]] void WriteGTagLeavingSettings(Conversion& c) {
  const StateTagKey key = GTagKey(c.typo, c.emitted, c.session.settings.unit);
  if (const StateTagCache::Entry* e = c.tagCache.Find(key)) {
    WriteKept(c, *e);
    return;
  }
  ComposeGTag(c, key);
}

}  // namespace

void WriteGTag(Conversion& c) {
  WriteGTagLeavingSettings(c);
  TakeGSettings(c.typo, c.emitted);
}

[[gnu::noinline]] void WriteMoveTag(Conversion& c) { WriteMoveTag(ConversionTags{c}); }

namespace {

// The key of the single change of a tag that `changes` holds, when it holds
// one, alone in its tag, and the other tag has nothing to write; else 0.
[[gnu::always_inline]] inline uint64_t OneSingleChangeKey(const Conversion& c,
                                                          const state_tags::SettingsChanges& changes) {
  const TypoState& now = c.typo;
  const int16_t unit = c.session.settings.unit;
  if (changes.g()) return changes.j() ? 0 : SingleGChangeKey(changes, now, unit);
  return SingleJChangeKey(changes, now, unit, c.definitions.generation());
}

// WriteCharacterTags in full: each tag is written only when one of its
// attributes changed (a tag with no attribute to write is left out anyway).
// A setting changed alone, or what a size command changes, finds its text by
// one word. The settings are compared as words once.
[[gnu::noinline]] void WriteCharacterTagsInFull(Conversion& c) {
  const TypoState& now = c.typo;
  const state_tags::SettingsChanges changes = state_tags::ChangesOf(now, c.emitted);
  const int16_t unit = c.session.settings.unit;
  if (changes.j()) {
    uint64_t key = SingleJChangeKey(changes, now, unit, c.definitions.generation());
    if (key == 0) {
      // Tume or colour changed with nothing else (a size command changes
      // neither), or what a size command changes.
      key = (changes.fontToJkr | changes.position) == 0 ? ColourChangeKey(changes, now, c.definitions.generation())
                                                         : SizeChangeKey(changes, now, unit);
    }
    if (key != 0) {
      if (!WriteSingleChange(c, key)) ComposeSingleJChange(c, key);
    } else {
      WriteJTagLeavingSettings(c);
    }
  }
  if (changes.g()) {
    uint64_t key = SingleGChangeKey(changes, now, unit);
    if (key == 0) key = MeasureChangeKey(changes, now, c.emitted, unit);
    if (key != 0) {
      if (!WriteSingleChange(c, key)) ComposeSingleGChange(c, key);
    } else {
      WriteGTagLeavingSettings(c);
    }
  }
  // Whatever was written, both tags now carry every setting.
  c.emitted = now;
  if (MoveTagPending(c.move)) WriteMoveTag(c);
}

}  // namespace

void WriteCharacterTags(Conversion& c) {
  // Most often one setting changed alone, its text is kept and fits in the
  // output's room, and no move waits: that is written here, calling nothing
  // (so that it keeps few registers), and all else in full, comparing the
  // settings again.
  const state_tags::SettingsChanges changes = state_tags::ChangesOf(c.typo, c.emitted);
  if (const uint64_t key = OneSingleChangeKey(c, changes); key != 0 && !MoveTagPending(c.move)) {
    const SingleChangeTexts::Entry* e = c.singleChangeTexts.Find(key);
    if (e != nullptr && WriteKeptInRoom(c, *e)) [[likely]] {
      c.emitted = c.typo;
      return;
    }
  }
  WriteCharacterTagsInFull(c);
}

}  // namespace velkan
