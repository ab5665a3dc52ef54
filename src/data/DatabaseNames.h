// The names of the tables, columns and indexes the program uses in its two
// databases, written as the host application writes them. The files are
// matched against these without regard to letter case.
#pragma once

namespace tarvex::names {

// Both databases.
inline constexpr const char* kProduct = "product";
inline constexpr const char* kQuickId = "quickid";
inline constexpr const char* kCost = "cost";
inline constexpr const char* kRetailPrice = "retailprice";

// The update database (the vendor's price list).
inline constexpr const char* kUpdateFile = "invupdate.mdb";
// The same, as an Access 2007 or later file is named; looked for second.
inline constexpr const char* kUpdateFileAccdb = "invupdate.accdb";
inline constexpr const char* kVendor = "Vendor";
inline constexpr const char* kName = "Name";
inline constexpr const char* kId = "ID";
inline constexpr const char* kDelete = "Delete";
inline constexpr const char* kUpdateIdIndex = "UpdateID";
inline constexpr const char* kPrimaryKeyIndex = "Primarykey";

// The host database.
inline constexpr const char* kHostFile = "kv.mdb";
inline constexpr const char* kQuickIdIndex = "QuickID";

} // namespace tarvex::names
