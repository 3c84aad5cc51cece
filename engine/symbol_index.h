// An exact-match set of byte strings, built for the cleaner's hot loop: most
// tokens are a few bytes, so a short key is kept and compared as one integer,
// its bytes packed first byte lowest. Each key has a number, 0 for the first
// inserted, 1 for the next and so on, for a caller that keeps something for each.
// Where keys sit depends on a multiplier drawn for each index, so that no list
// can be written whose tokens all fall in one place of every index.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

class SymbolIndex {
  // Twelve bytes, not sixteen: a large inventory's slots are most of its memory.
#pragma pack(push, 4)
  struct Entry {
    // Short keys: bytes and length; longer: a hash, top byte 0xFF; 0: a free
    // slot, since no key is empty.
    std::uint64_t tag = 0;
    // The key's number, and kFound once a lookup has found it: marked
    // where the lookup already is, so that knowing which keys were never
    // looked for costs the hot loop no more than an OR.
    std::uint32_t number = 0;
  };
#pragma pack(pop)
  static constexpr std::uint32_t kFound = std::uint32_t{1} << 31;

  static std::size_t SlotOf(std::uint64_t tag, std::uint64_t multiplier, int shift) {
    return static_cast<std::size_t>((tag * multiplier) >> shift);
  }
  // Odd, with its high bits as random as its low ones.
  static std::uint64_t DrawMultiplier() {
    static std::random_device source;
    return (std::uint64_t{source()} << 32 | source()) | 1;
  }

 public:
  // Keys up to this long are packed into the low bytes of an integer whose
  // top byte holds the length: one comparison settles a match.
  static constexpr std::size_t kMaxPackedLength = 7;

  static constexpr std::uint32_t kAbsent = UINT32_MAX;

  SymbolIndex()
      : slots_(kInitialSlots),
        mask_(kInitialSlots - 1),
        shift_(64 - kInitialBits),
        multiplier_(DrawMultiplier()),
        seed_(DrawMultiplier()) {}

  // Gives the symbol the next number, if it is not empty and has none;
  // returns its number.
  std::uint32_t Insert(std::string_view symbol);

  // The text's number, or kAbsent; the key is marked found.
  std::uint32_t Find(std::string_view text) {
    if (!text.empty() && text.size() <= kMaxPackedLength) return Probe().Find(Pack(text));
    Entry* entry = Lookup(text);
    if (!entry) return kAbsent;
    entry->number |= kFound;
    return entry->number & ~kFound;
  }
  bool Contains(std::string_view text) {
    return Find(text) != kAbsent;
  }
  // The same question, asked without marking anything found.
  std::uint32_t Peek(std::string_view text) const {
    const std::size_t slot = SlotHolding(text);
    return slot == kNoSlot ? kAbsent : slots_[slot].number & ~kFound;
  }
  // Whether a lookup has found the symbol, which must be a key.
  bool Found(std::string_view symbol) const;

  // Calls visit(number, key, found) for every key, in no order.
  template <class Visit>
  void ForEachKey(Visit&& visit) const {
    for (const Entry& entry : slots_) {
      if (entry.tag == 0) continue;
      const std::uint32_t number = entry.number & ~kFound;
      char bytes[kMaxPackedLength];
      const std::string_view key =
          IsLongTag(entry.tag) ? LongKey(number) : Unpack(entry.tag, bytes);
      visit(number, key, (entry.number & kFound) != 0);
    }
  }

  // What a lookup of a packed key needs, for a hot loop to keep in registers;
  // valid until the next Insert.
  class PackedProbe {
   public:
    // For a key of 1 to kMaxPackedLength bytes, packed as Pack does. Not
    // Find() != kAbsent: the hot loop then pays for the number it drops.
    bool Contains(std::uint64_t packed) const {
      for (std::size_t slot = SlotOf(packed, multiplier_, shift_);; slot = (slot + 1) & mask_) {
        if (slots_[slot].tag == packed) [[likely]] {
          slots_[slot].number |= kFound;
          return true;
        }
        if (slots_[slot].tag == 0) return false;
      }
    }
    // The key's number, or kAbsent; marked found unless the caller keeps
    // no count of that.
    template <bool kMarkFound = true>
    std::uint32_t Find(std::uint64_t packed) const {
      for (std::size_t slot = SlotOf(packed, multiplier_, shift_);; slot = (slot + 1) & mask_) {
        if (slots_[slot].tag == packed) {
          if constexpr (kMarkFound) slots_[slot].number |= kFound;
          return slots_[slot].number & ~kFound;
        }
        if (slots_[slot].tag == 0) return kAbsent;
      }
    }

   private:
    friend class SymbolIndex;
    PackedProbe(Entry* slots, std::size_t mask, int shift, std::uint64_t multiplier)
        : slots_(slots), mask_(mask), shift_(shift), multiplier_(multiplier) {}
    Entry* slots_;
    std::size_t mask_;
    int shift_;
    std::uint64_t multiplier_;
  };

  // Lookups that mark what they find.
  PackedProbe Probe() {
    return PackedProbe(slots_.data(), mask_, shift_, multiplier_);
  }

  // A hash of any bytes (FNV-1a) from this index's seed: one drawn for each
  // index keeps a list from choosing symbols that collide in it.
  std::uint64_t SeededHash(std::string_view text) const {
    std::uint64_t hash = seed_;
    for (unsigned char byte : text) hash = (hash ^ byte) * 1099511628211ull;
    return hash;
  }

  // A text of 1 to kMaxPackedLength bytes as one integer: its bytes, the
  // first lowest, and its length in the top byte. Read with overlapping
  // loads of fixed size: no call and no loop.
  static std::uint64_t Pack(std::string_view text) {
    const char* bytes = text.data();
    const std::size_t size = text.size();
    const std::uint64_t length = std::uint64_t{size} << 56;
    if (size >= 4) {
      std::uint64_t low = Load32(bytes), high = Load32(bytes + size - 4);
      return length | low | (high << (8 * (size - 4)));
    }
    auto byte = [&](std::size_t at) {
      return std::uint64_t{static_cast<unsigned char>(bytes[at])};
    };
    return length | byte(0) | byte(size / 2) << (8 * (size / 2)) |
           byte(size - 1) << (8 * (size - 1));
  }
  // The text that Pack made `packed` of, written to `bytes`.
  static std::string_view Unpack(std::uint64_t packed, char (&bytes)[kMaxPackedLength]) {
    const std::size_t size = packed >> 56;
    for (std::size_t at = 0; at < size; ++at) bytes[at] = static_cast<char>(packed >> (8 * at));
    return std::string_view(bytes, size);
  }

 private:
  static constexpr int kInitialBits = 6;
  static constexpr std::size_t kLargeSlots = std::size_t{1} << 20;
  static constexpr std::size_t kInitialSlots = std::size_t{1} << kInitialBits;

  static std::uint64_t Load32(const char* bytes) {
    std::uint32_t word;
    std::memcpy(&word, bytes, 4);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap32(word);
    return word;
  }

  // Never equal to a short key's tag, whose top byte is its length, 1 to 7.
  std::uint64_t LongTag(std::string_view text) const {
    return SeededHash(text) | std::uint64_t{0xFF} << 56;
  }
  static bool IsLongTag(std::uint64_t tag) {
    return tag >> 56 == 0xFF;
  }
  // A longer key's bytes: they end where the next key's start.
  std::string_view LongKey(std::uint32_t number) const {
    const std::size_t end =
        number + std::size_t{1} < count_ ? long_offsets_[number + 1] : long_keys_.size();
    return std::string_view(long_keys_.data() + long_offsets_[number], end - long_offsets_[number]);
  }

  static constexpr std::size_t kNoSlot = SIZE_MAX;
  std::size_t SlotHolding(std::string_view text) const;
  Entry* Lookup(std::string_view text) {
    const std::size_t slot = SlotHolding(text);
    return slot == kNoSlot ? nullptr : &slots_[slot];
  }
  void Place(const Entry& entry);
  void Grow();

  std::vector<Entry> slots_;
  std::size_t mask_;
  int shift_;
  std::uint64_t multiplier_;
  std::uint64_t seed_;
  std::size_t count_ = 0;
  std::string long_keys_;
  std::vector<std::uint32_t> long_offsets_;  // by number: where its bytes are in long_keys_
};

inline std::uint32_t SymbolIndex::Insert(std::string_view symbol) {
  if (symbol.empty()) return kAbsent;
  if (const Entry* known = Lookup(symbol)) return known->number & ~kFound;
  if (count_ >= kFound - 1) throw std::length_error("symbol inventory too large");
  // Kept at most one eighth full, where a probe then rarely meets another
  // key; past a million slots (12 MiB), half full, so that a large
  // inventory costs tens of bytes a symbol rather than over a hundred.
  const std::size_t most = slots_.size() >= kLargeSlots ? slots_.size() / 2 : slots_.size() / 8;
  if (count_ + 1 > most) Grow();
  if (symbol.size() > kMaxPackedLength &&
      (symbol.size() > UINT32_MAX || long_keys_.size() > UINT32_MAX - symbol.size())) {
    throw std::length_error("symbol inventory too large");
  }
  Entry entry{0, static_cast<std::uint32_t>(count_)};
  // Every key has an offset, so that a longer one's bytes end at the next.
  long_offsets_.push_back(static_cast<std::uint32_t>(long_keys_.size()));
  if (symbol.size() <= kMaxPackedLength) {
    entry.tag = Pack(symbol);
  } else {
    entry.tag = LongTag(symbol);
    long_keys_.append(symbol);
  }
  Place(entry);
  return static_cast<std::uint32_t>(count_++);
}

inline bool SymbolIndex::Found(std::string_view symbol) const {
  const std::size_t slot = SlotHolding(symbol);
  return slot != kNoSlot && (slots_[slot].number & kFound) != 0;
}

// The slot of the text's entry, without marking it found.
inline std::size_t SymbolIndex::SlotHolding(std::string_view text) const {
  if (text.empty() || text.size() > UINT32_MAX) return kNoSlot;
  const bool packed = text.size() <= kMaxPackedLength;
  const std::uint64_t tag = packed ? Pack(text) : LongTag(text);
  for (std::size_t slot = SlotOf(tag, multiplier_, shift_);; slot = (slot + 1) & mask_) {
    const Entry& entry = slots_[slot];
    if (entry.tag == 0) return kNoSlot;
    if (entry.tag == tag && (packed || LongKey(entry.number & ~kFound) == text)) return slot;
  }
}

inline void SymbolIndex::Place(const Entry& entry) {
  std::size_t slot = SlotOf(entry.tag, multiplier_, shift_);
  while (slots_[slot].tag != 0) slot = (slot + 1) & mask_;
  slots_[slot] = entry;
}

inline void SymbolIndex::Grow() {
  std::vector<Entry> old(slots_.size() * 2);
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  --shift_;
  for (const Entry& entry : old) {
    if (entry.tag != 0) Place(entry);
  }
}

}  // namespace engine
