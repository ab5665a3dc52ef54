// An open-addressed table of index keys, with linear probing.
#include "platform/access/AccessKeyTable.h"

#include <functional>

namespace tarvex {

namespace {

std::uint32_t tagOf(std::uint64_t hash)
{
    return static_cast<std::uint32_t>(hash >> 32);
}

} // namespace

void AccessKeyTable::reserve(std::size_t count)
{
    std::size_t size = 16;
    while (size < count * 2)
        size *= 2;
    m_entries.reserve(count);
    if (size <= m_slots.size())
        return;
    m_slots.assign(size, Slot{});
    const std::size_t mask = size - 1;
    for (std::size_t e = 0; e < m_entries.size(); ++e) {
        // The keys are distinct, so each goes to the first empty slot.
        std::size_t i = m_entries[e].hash & mask;
        while (m_slots[i].entry != 0)
            i = (i + 1) & mask;
        m_slots[i] = Slot{tagOf(m_entries[e].hash), static_cast<std::uint32_t>(e + 1)};
    }
}

void AccessKeyTable::clear()
{
    m_text.clear();
    m_entries.clear();
    m_slots.clear();
}

std::size_t AccessKeyTable::slotFor(std::string_view key, std::uint64_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    const std::uint32_t tag = tagOf(hash);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = m_slots[i];
        if (slot.entry == 0)
            return i;
        if (slot.tag != tag)
            continue;
        const Entry& entry = m_entries[slot.entry - 1];
        if (entry.hash == hash && std::string_view(m_text).substr(entry.offset, entry.length) == key)
            return i;
    }
}

std::uint64_t AccessKeyTable::hashOf(std::string_view key)
{
    return std::hash<std::string_view>{}(key);
}

void AccessKeyTable::prefetch(std::uint64_t hash) const
{
    if (!m_slots.empty())
        __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]);
}

std::optional<std::uint32_t> AccessKeyTable::addFirst(std::string_view key, std::uint32_t position)
{
    return addFirst(key, hashOf(key), position);
}

std::optional<std::uint32_t> AccessKeyTable::addFirst(std::string_view key, std::uint64_t hash, std::uint32_t position)
{
    // At most half the slots are used, so a probe always ends.
    if ((m_entries.size() + 1) * 2 > m_slots.size())
        reserve(m_entries.size() + 1 > 8 ? (m_entries.size() + 1) * 2 : 16);
    Slot& slot = m_slots[slotFor(key, hash)];
    if (slot.entry != 0)
        return m_entries[slot.entry - 1].position;
    m_entries.push_back(
        Entry{hash, static_cast<std::uint32_t>(m_text.size()), static_cast<std::uint32_t>(key.size()), position});
    slot = Slot{tagOf(hash), static_cast<std::uint32_t>(m_entries.size())};
    m_text.append(key);
    return std::nullopt;
}

std::optional<std::uint32_t> AccessKeyTable::find(std::string_view key) const
{
    if (m_slots.empty())
        return std::nullopt;
    const Slot& slot = m_slots[slotFor(key, hashOf(key))];
    if (slot.entry == 0)
        return std::nullopt;
    return m_entries[slot.entry - 1].position;
}

} // namespace tarvex
