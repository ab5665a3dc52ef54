// Building the list of proposed changes in one pass over the vendor products.
#include "review/ChangeList.h"

#include "data/DatabaseNames.h"
#include "review/ChangeRules.h"
#include "review/ProductValues.h"
#include "review/ReadHold.h"
#include "review/WorkPacer.h"

namespace tarvex {

namespace {

// The code a vendor product is named by in messages.
std::string productCode(const std::optional<std::string>& quickid, const Result<std::optional<std::int64_t>>& id)
{
    if (quickid && !quickid->empty())
        return *quickid;
    if (id.ok() && *id)
        return "ID " + std::to_string(**id);
    return "(no product code)";
}

class Builder {
public:
    Builder(Database& update, Database& host, Recordset& vendor, Recordset& hostProducts, ChangeList& list)
        : m_update(update)
        , m_host(host)
        , m_vendor(vendor)
        , m_hostProducts(hostProducts)
        , m_list(list)
    {
    }

    // Lists the vendor product that is current, passes it over, or records
    // why it could not be read.
    void consider()
    {
        Result<std::optional<std::int64_t>> id = m_vendor.integer(names::kId);
        Result<std::optional<std::string>> quickid = m_vendor.text(names::kQuickId);
        std::optional<std::string> code = quickid.ok() ? *quickid : std::nullopt;
        std::string shown = productCode(code, id);

        Result<std::optional<double>> deleted = m_vendor.number(names::kDelete);
        if (!deleted.ok())
            return unreadable(shown, m_update, deleted.error());
        // A true flag and an empty one both mean the product is not live.
        if (!*deleted || **deleted != 0)
            return;
        if (!quickid.ok())
            return unreadable(shown, m_update, quickid.error());
        // No host product can carry an empty code.
        if (!code)
            return;

        Status found = m_hostProducts.seek(Key{*code});
        if (!found.ok())
            return unreadable(shown, m_host, found.error());
        if (m_hostProducts.noMatch())
            return;

        if (!id.ok())
            return unreadable(shown, m_update, id.error());
        if (!*id)
            return unreadable(shown, m_update, "the product has no ID");
        Result<ProductValues> values = readProductValues(m_update, m_vendor, m_host, m_hostProducts);
        if (!values.ok()) {
            m_list.unreadable.push_back({shown, values.error()});
            return;
        }

        double currentCost = values->hostCost.value_or(0);
        double currentPrice = values->hostPrice.value_or(0);
        std::optional<ChangeLabel> label =
            changeLabel(values->vendorCost, values->vendorPrice, currentCost, currentPrice);
        if (!label)
            return;

        ProposedChange row;
        row.vendorId = **id;
        row.quickid = *code;
        // A name that cannot be read as text (binary data) is shown empty:
        // the name is only shown, never compared or written.
        Result<std::optional<std::string>> name = m_vendor.text(names::kName);
        if (name.ok() && *name)
            row.name = **name;
        row.currentCost = currentCost;
        row.currentPrice = currentPrice;
        row.newCost = values->vendorCost;
        row.newPrice = values->vendorPrice;
        row.change = *label;
        m_list.rows.push_back(std::move(row));
    }

private:
    void unreadable(const std::string& code, const Database& db, const std::string& error)
    {
        m_list.unreadable.push_back({code, db.path() + ": " + error});
    }

    Database& m_update;
    Database& m_host;
    Recordset& m_vendor;
    Recordset& m_hostProducts;
    ChangeList& m_list;
};

} // namespace

Result<ChangeList> buildChangeList(Database& update, Database& host, Prompter& prompter)
{
    using R = Result<ChangeList>;
    ReadHold updateRead(update);
    ReadHold hostRead(host);
    if (!updateRead.status().ok())
        return R::failure(updateRead.status().error());
    if (!hostRead.status().ok())
        return R::failure(hostRead.status().error());

    Result<Recordset> vendor = update.openTable(names::kProduct, {names::kId, names::kQuickId, names::kName,
                                                                  names::kCost, names::kRetailPrice, names::kDelete});
    if (!vendor.ok())
        return R::failure(vendor.error());
    if (Status s = vendor->setIndex(names::kUpdateIdIndex); !s.ok())
        return R::failure(update.path() + ": " + s.error());
    Result<Recordset> hostProducts =
        host.openTable(names::kProduct, {names::kQuickId, names::kCost, names::kRetailPrice});
    if (!hostProducts.ok())
        return R::failure(hostProducts.error());
    if (Status s = hostProducts->setIndex(names::kQuickIdIndex); !s.ok())
        return R::failure(host.path() + ": " + s.error());

    // Only for the progress: a count that cannot be had shows none.
    Result<std::uint64_t> vendorCount = update.recordCount(vendor->tableName());
    ChangeList list;
    Builder builder(update, host, *vendor, *hostProducts, list);
    WorkPacer pacer(prompter, "Proposed Changes to Products", "Comparing the vendor's products with the host database",
                    vendorCount.ok() ? *vendorCount : 0);
    std::uint64_t done = 0;
    for (Status walk = vendor->moveFirst();; walk = vendor->moveNext()) {
        if (!walk.ok())
            return R::failure(update.path() + ": " + walk.error());
        if (vendor->eof())
            break;
        builder.consider();
        pacer.step(++done);
    }
    return list;
}

} // namespace tarvex
