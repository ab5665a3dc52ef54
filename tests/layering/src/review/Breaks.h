// Includes that break the layering, for the test that the guard finds them.
#pragma once
#include "startup/StartupSequence.h"
#include <QWidget>
#include <sqlite3.h>
#include "platform/access/AccessTable.h"
#include "platform/db/DatabaseKind.h"
#include "platform/os/FileCopy.h"
