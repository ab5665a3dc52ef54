// An open-addressed table of index keys, with linear probing.
#include "platform/AccessKeyTable.h"

#include <functional>

namespace tarvex {

void AccessKeyTable::reserve(std::size_t count)
{
    std::size_t size = 16;
    while (size < count * 2)
        size *= 2;
    if (size <= m_slots.size())
        return;
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(size, Slot{});
    for (const Slot& slot : old)
        if (slot.used)
            m_slots[slotFor(std::string_view(m_text).substr(slot.offset, slot.length), slot.hash)] = slot;
}

void AccessKeyTable::clear()
{
    m_text.clear();
    m_slots.clear();
    m_count = 0;
}

std::size_t AccessKeyTable::slotFor(std::string_view key, std::uint64_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (!slot.used || (slot.hash == hash && std::string_view(m_text).substr(slot.offset, slot.length) == key))
            return i;
    }
}

std::optional<std::uint32_t> AccessKeyTable::addFirst(std::string_view key, std::uint32_t position)
{
    // At most half the slots are used, so a probe always ends.
    if ((m_count + 1) * 2 > m_slots.size())
        reserve(m_count + 1 > 8 ? (m_count + 1) * 2 : 16);
    std::uint64_t hash = std::hash<std::string_view>{}(key);
    Slot& slot = m_slots[slotFor(key, hash)];
    if (slot.used)
        return slot.position;
    slot =
        Slot{hash, static_cast<std::uint32_t>(m_text.size()), static_cast<std::uint32_t>(key.size()), position, true};
    m_text.append(key);
    ++m_count;
    return std::nullopt;
}

std::optional<std::uint32_t> AccessKeyTable::find(std::string_view key) const
{
    if (m_slots.empty())
        return std::nullopt;
    const Slot& slot = m_slots[slotFor(key, std::hash<std::string_view>{}(key))];
    if (!slot.used)
        return std::nullopt;
    return slot.position;
}

} // namespace tarvex
