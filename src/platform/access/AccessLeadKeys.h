// AccessLeadKeys: an index's entries found by the lead of their keys (see
// AccessSortCodes.h), for exact-match seeks that read only the few records
// whose keys could hold the code sought instead of every record's code.
//
// The leads are hashes, and texts that differ in more than letter case can
// share a lead (apostrophes, hyphens, accents), so every entry found is a
// candidate only: the seek confirms it by the record's own code. For the
// same reason the table keeps only half of each hash (a slot's tag): leads
// whose tags meet share a chain, which adds candidates and never loses one.
// The entries of a chain are given in index order, so the first confirmed
// is the first in index order.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace tarvex {

class AccessLeadKeys {
public:
    // Takes each position's lead hash (kNoLead: the entry has none, and is
    // never found here).
    void build(std::vector<std::uint64_t> leads);
    bool empty() const { return m_leads.empty(); }
    const std::vector<std::uint64_t>& leads() const { return m_leads; }

    // The first position of the chain that holds hash, or nothing.
    std::optional<std::uint32_t> first(std::uint64_t hash) const;
    // The next position after position in its chain, or nothing.
    std::optional<std::uint32_t> next(std::uint32_t position) const;

private:
    static constexpr std::uint32_t kNone = ~std::uint32_t{0};
    struct Slot {
        std::uint32_t tag = 0;       // the upper half of the hashes chained here
        std::uint32_t first = kNone; // the chain's first position; kNone while the slot is empty
    };
    std::vector<std::uint64_t> m_leads;
    std::vector<Slot> m_slots;         // a power of two in size, at most four fifths used
    std::vector<std::uint32_t> m_next; // per position: the next in its chain
};

} // namespace tarvex
