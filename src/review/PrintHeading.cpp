// The heading line a printed list carries on every page.
#include "review/PrintHeading.h"

#include "data/RunJournal.h"
#include "platform/text/VisibleText.h"

namespace tarvex {

std::string printHeadingLine(const PrintHeading& heading)
{
    std::time_t when = heading.printedAt ? heading.printedAt : std::time(nullptr);
    return visibleText((heading.vendor.empty() ? std::string() : "Vendor: " + heading.vendor + "   ") +
                       runTimeText(when) + (heading.hostFile.empty() ? std::string() : "   " + heading.hostFile));
}

} // namespace tarvex
