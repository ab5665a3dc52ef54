// Includes that break the rooms, for the test that the guard finds them.
#include "platform/access/AccessFile.h"
#include <mdbtools.h>
