#include "support/DiskFaultShim.h"

#include "support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <string>

namespace tarvex::test {

bool underDiskFaultShim()
{
    return ::dlsym(RTLD_DEFAULT, "tarvex_disk_fault_shim") != nullptr;
}

void runThisTestUnderDiskFaultShim()
{
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    ProcessOptions options;
    // The sanitizers' library would otherwise refuse to start after another
    // preloaded library. The parent alone writes a report file, if any.
    options.environment = {std::string("LD_PRELOAD=") + TARVEX_DISK_FAULT_SHIM,
                           std::string("ASAN_OPTIONS=") + (sanitizer ? std::string(sanitizer) + ":" : "") +
                               "verify_asan_link_order=0",
                           "GTEST_OUTPUT="};
    options.timeoutSeconds = 120;
    ProcessResult run =
        runProcess({std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=" + name}, options);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    // A filter that matched nothing passes too: the one test must have run.
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test."), std::string::npos) << run.out << run.err;
}

} // namespace tarvex::test
