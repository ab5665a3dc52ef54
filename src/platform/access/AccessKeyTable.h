// AccessKeyTable: the first position that holds each key of an index, for
// exact-match seeks. Built once per table over every record's key (a large
// host has hundreds of thousands), it keeps all key texts in one block and
// finds them through an open-addressed table of their hashes: no allocation
// per key, and a lookup touches one or two slots. The slots are eight bytes
// (part of the hash and where the key is kept), so that the table of a large
// host stays small enough for the processor's caches.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

class AccessKeyTable {
public:
    // Room for count keys without growing.
    void reserve(std::size_t count);
    void clear();

    // Keeps position for key when the table does not hold key yet; when it
    // does, leaves it and returns the position it holds.
    std::optional<std::uint32_t> addFirst(std::string_view key, std::uint32_t position);
    // The same, with key's hash (hashOf) already at hand.
    std::optional<std::uint32_t> addFirst(std::string_view key, std::uint64_t hash, std::uint32_t position);
    // Asks the processor to fetch the slot where a key of this hash goes, so
    // that adding keys met in no particular order need not wait on memory
    // for each: a hint only, which changes nothing the table holds.
    void prefetch(std::uint64_t hash) const;
    static std::uint64_t hashOf(std::string_view key);
    // The position held for key, or nothing.
    std::optional<std::uint32_t> find(std::string_view key) const;

private:
    // A key kept, in the order they were added.
    struct Entry {
        std::uint64_t hash = 0;
        std::uint32_t offset = 0; // of the key in m_text
        std::uint32_t length = 0;
        std::uint32_t position = 0;
    };
    struct Slot {
        std::uint32_t tag = 0;   // the hash's upper half
        std::uint32_t entry = 0; // in m_entries plus one; 0 while the slot is empty
    };
    // The slot holding key, or the empty slot where it belongs.
    std::size_t slotFor(std::string_view key, std::uint64_t hash) const;

    std::string m_text;
    std::vector<Entry> m_entries;
    std::vector<Slot> m_slots; // a power of two in size, at most half used
};

} // namespace tarvex
