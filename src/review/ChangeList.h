// ChangeList: the proposed changes of a run, built by comparing every live
// vendor product with the host product of the same product code.
#pragma once

#include "platform/Database.h"
#include "platform/prompt/Prompter.h"
#include "review/ProductProblem.h"
#include "review/ProposedChange.h"

#include <vector>

namespace tarvex {

struct ChangeList {
    // In the vendor list's UpdateID order.
    std::vector<ProposedChange> rows;
    // Vendor products passed over because their Delete flag, cost or price,
    // or the matching host product's cost or price, is not a number.
    std::vector<ProductProblem> unreadable;
};

// Walks the update database's products once in UpdateID order. A product is
// considered when its Delete flag equals 0; it is looked up in the host
// database by quickid through the QuickID index (the first in index order)
// and listed by the rules of changeLabel(). One read transaction is held on
// each database for the whole walk, so the host file is locked once, not once
// per lookup. Events run and a progress shows through prompter as the walk
// goes on.
//
// Fails, with a text naming the file, when a product table cannot be opened
// or the walk itself cannot go on (the file cannot be read); a value that
// cannot be read only passes that product over (see ChangeList::unreadable).
Result<ChangeList> buildChangeList(Database& update, Database& host, Prompter& prompter);

} // namespace tarvex
