// Includes that break the rooms, for the test that the guard finds them.
#include "platform/sqlite/SqlText.h"
#include <sqlite3.h>
