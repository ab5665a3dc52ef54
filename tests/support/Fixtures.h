// The files tests read and change, kept under tests/data (see
// tests/data/access/PROVENANCE.md), and copies of them in a test's folder.
#pragma once

#include "support/TempDir.h"

#include <string>

namespace tarvex::test {

// The path of tests/data/<relative>, e.g. fixturePath("access/kv-2000.mdb").
std::string fixturePath(const std::string& relative);

// Copies tests/data/<relative> into dir, under name (the fixture's own file
// name when empty), replacing a file of that name, and returns the copy's
// path. A copy that fails fails the test.
std::string copyFixture(const TempDir& dir, const std::string& relative, const std::string& name = {});

} // namespace tarvex::test
