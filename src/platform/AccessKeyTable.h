// AccessKeyTable: the first position that holds each key of an index, for
// exact-match seeks. Built once per table over every record's key (a large
// host has hundreds of thousands), it keeps all key texts in one block and
// finds them through an open-addressed table of their hashes: no allocation
// per key, and a lookup touches one or two slots.
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
    // The position held for key, or nothing.
    std::optional<std::uint32_t> find(std::string_view key) const;

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t offset = 0; // of the key in m_text
        std::uint32_t length = 0;
        std::uint32_t position = 0;
        bool used = false;
    };
    // The slot holding key, or the empty slot where it belongs.
    std::size_t slotFor(std::string_view key, std::uint64_t hash) const;
    void grow();

    std::string m_text;
    std::vector<Slot> m_slots; // a power of two in size, at most half used
    std::size_t m_count = 0;
};

} // namespace tarvex
