#include "support/ReviewRun.h"

#include <utility>

namespace tarvex::test {

ReviewRun::ReviewRun(const std::string& updatePath, const std::string& hostPath, Record record,
                     const std::string& backupSuffix)
    : update(std::move(Database::open(updatePath).value()))
    , host(std::move(Database::open(hostPath).value()))
    , journal(runInfoNow("Acme", updatePath, hostPath + backupSuffix))
    , review(update, host, prompter)
{
    if (record == Record::Yes)
        review.setJournal(&journal);
}

bool ReviewRun::buildAndSelectAll()
{
    if (!review.build().ok())
        return false;
    review.selectAll();
    return true;
}

} // namespace tarvex::test
