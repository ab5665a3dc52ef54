// Timing AccessWriter beside a bare pwrite and fdatasync per product.
#include "AccessWriteBench.h"

#include "Stopwatch.h"

#include "platform/access/AccessWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace tarvex::bench {

namespace {

namespace fs = std::filesystem;

// Products per turn of each side.
constexpr std::size_t kBatch = 100;

// One product to write: where its record is, as read, and the file range the
// save changes (its amounts and null-mask bytes).
struct Product {
    AccessPlace place;
    std::vector<AccessStoredField> stored;
    std::vector<AccessAmount> values;
    std::size_t first = 0;
    std::size_t last = 0;
};

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file range a save of the record at place may change.
void rangeOf(const AccessFile& file, const AccessTableDefinition& definition, Product& product)
{
    AccessPlace place = product.place;
    Result<std::optional<AccessRowBytes>> row = file.image().liveRow(definition.page, place);
    AccessRowFields fields;
    if (!row.ok() || !*row || !fields.split(file.image(), **row, definition.hasVariableColumns))
        return;
    auto offset = [&](const unsigned char* p) {
        return static_cast<std::size_t>(file.image().fileOffset(p).value_or(0));
    };
    product.first = SIZE_MAX;
    for (const AccessColumn& column : definition.columns) {
        if (column.name != "cost" && column.name != "retailprice")
            continue;
        std::optional<AccessRowBytes> value = fields.bytes(column);
        const unsigned char* mask = fields.maskByte(column);
        if (!value || !mask)
            continue;
        product.first = std::min({product.first, offset(value->data), offset(mask)});
        product.last = std::max({product.last, offset(value->data + value->size - 1), offset(mask)});
    }
}

} // namespace

Result<AccessWriteFigures> AccessWriteBench::measure(const std::string& hostPath, const std::string& folder,
                                                     std::size_t count)
{
    using R = Result<AccessWriteFigures>;
    const std::string written = folder + "/kv-access-writer.mdb";
    const std::string floored = folder + "/kv-access-floor.mdb";
    for (const std::string& copy : {written, floored}) {
        std::error_code error;
        fs::remove(copy, error);
        if (!fs::copy_file(hostPath, copy, error))
            return R::failure(copy + ": cannot copy " + hostPath + ": " + error.message());
    }

    Result<AccessFile> file = AccessFile::open(written);
    if (!file.ok())
        return R::failure(file.error());
    Result<AccessTable> table = file->openTable("product", {"cost", "retailprice"});
    if (!table.ok())
        return R::failure(table.error());
    if (Status indexed = table->setIndex("PrimaryKey"); !indexed.ok())
        return R::failure(indexed.error());
    std::vector<Product> products;
    if (Status first = table->moveFirst(); !first.ok())
        return R::failure(first.error());
    while (!table->eof() && products.size() < count) {
        Product product;
        product.place = table->place();
        product.stored = {*table->stored("cost"), *table->stored("retailprice")};
        product.values = {table->number("cost")->value_or(0) + 1, table->number("retailprice")->value_or(0) + 2};
        rangeOf(*file, table->definition(), product);
        products.push_back(std::move(product));
        if (Status next = table->moveNext(); !next.ok())
            return R::failure(next.error());
    }

    Result<AccessWriter> writer = AccessWriter::open(*file, "product", {"cost", "retailprice"});
    if (!writer.ok())
        return R::failure(writer.error());
    // The floor writes the bytes the writer wrote, taken from the writer's
    // copy after each of its turns.
    int floorFd = ::open(floored.c_str(), O_RDWR | O_CLOEXEC);
    int writtenFd = ::open(written.c_str(), O_RDONLY | O_CLOEXEC);
    if (floorFd < 0 || writtenFd < 0) {
        int error = errno;
        if (floorFd >= 0)
            ::close(floorFd);
        if (writtenFd >= 0)
            ::close(writtenFd);
        return R::failure(floored + ": cannot open: " + std::strerror(error));
    }

    // The copies go out to disk first, so that neither side's first flush
    // writes a whole new file.
    ::fsync(floorFd);
    if (int own = ::open(written.c_str(), O_RDWR | O_CLOEXEC); own >= 0) {
        ::fsync(own);
        ::close(own);
    }

    AccessWriteFigures figures;
    figures.products = products.size();
    std::string bytes;
    for (std::size_t start = 0; start < products.size(); start += kBatch) {
        std::size_t end = std::min(products.size(), start + kBatch);
        Stopwatch clock;
        for (std::size_t i = start; i < end; ++i)
            if (!writer->save(products[i].place, products[i].stored, products[i].values).ok())
                ++figures.failed;
        figures.writerSeconds += clock.seconds();
        figures.writerCpuSeconds += clock.cpuSeconds();

        std::vector<std::string> ranges;
        for (std::size_t i = start; i < end; ++i) {
            bytes.assign(products[i].last - products[i].first + 1, '\0');
            if (::pread(writtenFd, bytes.data(), bytes.size(), static_cast<off_t>(products[i].first)) < 0)
                ++figures.failed;
            ranges.push_back(bytes);
        }
        clock.restart();
        for (std::size_t i = start; i < end; ++i) {
            const std::string& range = ranges[i - start];
            if (::pwrite(floorFd, range.data(), range.size(), static_cast<off_t>(products[i].first)) < 0 ||
                ::fdatasync(floorFd) != 0)
                ++figures.failed;
        }
        figures.floorSeconds += clock.seconds();
        figures.floorCpuSeconds += clock.cpuSeconds();
    }
    ::close(floorFd);
    ::close(writtenFd);

    std::string a = contentOf(written);
    std::string b = contentOf(floored);
    figures.differences = a.size() == b.size() ? 0 : 1;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        figures.differences += a[i] != b[i];
    return figures;
}

} // namespace tarvex::bench
