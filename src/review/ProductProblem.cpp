// Wording for the products a message box names.
#include "review/ProductProblem.h"

#include "platform/text/VisibleText.h"

namespace tarvex {

std::string inlineCodes(const std::vector<ProductProblem>& problems, std::size_t inlineLimit)
{
    if (problems.empty() || problems.size() > inlineLimit)
        return {};
    std::string codes;
    for (const ProductProblem& problem : problems)
        codes += (codes.empty() ? "" : ", ") + visibleText(problem.code);
    return codes;
}

std::string problemLines(const std::vector<ProductProblem>& problems)
{
    std::string lines;
    for (const ProductProblem& problem : problems) {
        // Appended piece by piece: GCC 12 takes "\n" + a string for an
        // overlapping copy when optimising (a false -Wrestrict).
        if (!lines.empty())
            lines += '\n';
        lines += visibleText(problem.code) + ": " + visibleText(problem.reason);
    }
    return lines;
}

} // namespace tarvex
