// A file's kind asked of the engines' signature reader above the door.
#include "platform/Database.h"
bool holdsDatabase(const std::string& path)
{
    return tarvex::databaseKind(path).ok();
}
