// Qt's own diagnostics: dropped unless TARVEX_QT_MESSAGES asks for them.
#include "app/QtMessages.h"

#include "support/EnvOverride.h"

#include <QtGlobal>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarvex::test {

namespace {

// What a Qt warning writes to standard error with the handler as the
// variable's value sets it; Qt's own handler is put back afterwards.
std::string warningShownWith(const std::optional<std::string>& value)
{
    EnvOverride variable(kQtMessagesVariable, value);
    // Qt's own handler writes to the journal instead when standard error is
    // not a terminal.
    EnvOverride toStderr("QT_FORCE_STDERR_LOGGING", "1");
    hideQtMessagesUnlessAsked();
    testing::internal::CaptureStderr();
    qWarning("QStandardPaths: XDG_RUNTIME_DIR not set");
    std::string shown = testing::internal::GetCapturedStderr();
    qInstallMessageHandler(nullptr);
    return shown;
}

} // namespace

TEST(QtMessagesTest, QtsWarningsAreShownOnlyWhenAskedFor)
{
    EXPECT_EQ(warningShownWith(std::nullopt), "");
    EXPECT_EQ(warningShownWith("0"), "");
    EXPECT_EQ(warningShownWith(""), "");
    EXPECT_NE(warningShownWith("1").find("XDG_RUNTIME_DIR not set"), std::string::npos);
}

} // namespace tarvex::test
