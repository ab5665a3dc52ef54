// CSV lines of the review list, and the staged writing shared with the
// printed listing.
#include "review/ListCsv.h"

#include "platform/os/StagedFile.h"
#include "review/PrintTarget.h"
#include "review/ReviewColumns.h"

namespace tarvex {

std::string csvField(std::string_view value)
{
    bool quote = !value.empty() && (value.find_first_of(",\"\r\n") != std::string_view::npos || value.front() == ' ' ||
                                    value.back() == ' ');
    if (!quote)
        return std::string(value);
    std::string field = "\"";
    for (char c : value) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + '"';
}

Status writeCsv(const std::vector<ProposedChange>& rows, const std::vector<RowIndex>& order,
                const std::function<bool(std::size_t)>& isSelected,
                const std::function<Status(const std::string& line)>& emit)
{
    std::string line = "\xEF\xBB\xBF"
                       "Selected";
    // The separator is appended on its own: GCC 12 at -O3 takes
    // "," + std::string&& for an overlapping copy (-Wrestrict).
    for (ReviewColumn column : kReviewColumns) {
        line += ',';
        line += csvField(columnTitle(column));
    }
    if (Status emitted = emit(line + "\r\n"); !emitted.ok())
        return emitted;
    for (std::size_t index : order) {
        line = isSelected(index) ? "Yes" : "No";
        for (ReviewColumn column : kReviewColumns) {
            line += ',';
            line += csvField(rows[index].cell(column));
        }
        if (Status emitted = emit(line + "\r\n"); !emitted.ok())
            return emitted;
    }
    return Status::success();
}

Status writeStagedText(const std::string& path,
                       const std::function<Status(const std::function<Status(const std::string&)>& emit)>& produce)
{
    constexpr std::size_t kBlock = 64 * 1024;
    Result<StagedFile> staged = StagedFile::create(path, printFileMode(path));
    if (!staged)
        return staged.status();
    std::string block;
    Status written = produce([&](const std::string& line) {
        block += line;
        if (block.size() < kBlock)
            return Status::success();
        Status put = staged->write(block);
        block.clear();
        return put;
    });
    if (written.ok())
        written = staged->write(block);
    if (!written.ok())
        return written;
    return staged->commitReplacing(path);
}

} // namespace tarvex
