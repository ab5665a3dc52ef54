// ProductProblem: a product the review could not handle (a value that cannot
// be read, a save that failed), named by its product code, with the reason.
// And the wording that names such products in a message box, with control
// characters shown as escapes, so that a code read from a file cannot start a
// line of its own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tarvex {

struct ProductProblem {
    std::string code;   // the product code, or "ID n" for a vendor product without one
    std::string reason; // the file and what is wrong
};

// The product codes, for a message text: "A1, B2, C3" when there are at most
// inlineLimit of them, otherwise empty (the codes then go to the detail).
std::string inlineCodes(const std::vector<ProductProblem>& problems, std::size_t inlineLimit);
// One line per product, "CODE: reason", for a message's detail.
std::string problemLines(const std::vector<ProductProblem>& problems);

} // namespace tarvex
