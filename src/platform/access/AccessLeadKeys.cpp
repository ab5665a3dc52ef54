// An open-addressed table of lead hashes, each chained to its positions.
#include "platform/access/AccessLeadKeys.h"

#include "platform/access/AccessSortCodes.h"

namespace tarvex {

namespace {

std::uint32_t tagOf(std::uint64_t hash)
{
    return static_cast<std::uint32_t>(hash >> 32);
}

} // namespace

void AccessLeadKeys::build(std::vector<std::uint64_t> leads)
{
    m_leads = std::move(leads);
    std::size_t size = 16;
    while (size < m_leads.size() + m_leads.size() / 4)
        size *= 2;
    m_slots.assign(size, Slot{});
    m_next.assign(m_leads.size(), kNone);
    const std::size_t mask = size - 1;
    // From the last position back, each put before the ones after it: a
    // chain runs in index order.
    // The slots are met in no order: each is asked for some positions ahead,
    // so that the build need not wait on memory for each.
    constexpr std::size_t kAhead = 8;
    for (std::size_t position = m_leads.size(); position-- > 0;) {
        if (position >= kAhead)
            __builtin_prefetch(&m_slots[m_leads[position - kAhead] & mask]);
        std::uint64_t hash = m_leads[position];
        if (hash == kNoLead)
            continue;
        std::size_t i = hash & mask;
        while (m_slots[i].first != kNone && m_slots[i].tag != tagOf(hash))
            i = (i + 1) & mask;
        m_next[position] = m_slots[i].first;
        m_slots[i] = Slot{tagOf(hash), static_cast<std::uint32_t>(position)};
    }
}

std::optional<std::uint32_t> AccessLeadKeys::first(std::uint64_t hash) const
{
    if (m_slots.empty() || hash == kNoLead)
        return std::nullopt;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = hash & mask; m_slots[i].first != kNone; i = (i + 1) & mask)
        if (m_slots[i].tag == tagOf(hash))
            return m_slots[i].first;
    return std::nullopt;
}

std::optional<std::uint32_t> AccessLeadKeys::next(std::uint32_t position) const
{
    if (position >= m_next.size() || m_next[position] == kNone)
        return std::nullopt;
    return m_next[position];
}

} // namespace tarvex
