// The disk fault shim (tests/shim/DiskFaultShim.cpp) from a test's side. A
// test that breaks a flush, a read-back or a copy's source runs its body in a
// process of its own test program with the shim preloaded:
//
//     TEST(Suite, Name)
//     {
//         if (!underDiskFaultShim())
//             return runThisTestUnderDiskFaultShim();
//         ... the body, which sets TARVEX_FAIL_FLUSH and the like around
//         the step it breaks (see the shim for the variables) ...
//     }
#pragma once

namespace tarvex::test {

// Whether this process runs with the shim preloaded.
bool underDiskFaultShim();

// Runs the current test alone in a new process of this test program with the
// shim preloaded, and fails the test here, with that process's output, unless
// it passed there.
void runThisTestUnderDiskFaultShim();

} // namespace tarvex::test
