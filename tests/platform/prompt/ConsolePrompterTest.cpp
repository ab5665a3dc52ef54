// The terminal prompts: what each box prints, how answers are read, and what
// the end of input means at every kind of question.
#include "platform/prompt/ConsolePrompter.h"
#include "platform/text/VisibleText.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

using namespace tarvex;

namespace {

struct Console {
    explicit Console(const std::string& input)
        : in(input)
    {
    }
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    ConsolePrompter prompter{in, out, err, false};
};

Message question(MessageButtons buttons)
{
    return {"Continue?", "Notice", "", MessageIcon::None, buttons};
}

TEST(ConsolePrompterTest, OkBoxPrintsCaptionAndTextAndReadsNothing)
{
    Console c("yes\n");
    EXPECT_EQ(c.prompter.showMessage({"Update Complete", "", "", MessageIcon::None, MessageButtons::Ok}), Answer::Ok);
    EXPECT_EQ(c.out.str(), "[Tarvex] Update Complete\n");
    EXPECT_EQ(*c.prompter.readLine(), "yes");
}

TEST(ConsolePrompterTest, YesNoAcceptsWordsInAnyCaseAndAsksAgainOtherwise)
{
    Console c("maybe\n  YES \nn\r\n");
    EXPECT_EQ(c.prompter.showMessage(question(MessageButtons::YesNo)), Answer::Yes);
    EXPECT_EQ(c.prompter.showMessage(question(MessageButtons::YesNo)), Answer::No);
    std::string out = c.out.str();
    EXPECT_EQ(out.rfind("[Notice] Continue?\n", 0), 0u);
    // "maybe" asked again: three requests for two boxes.
    size_t asks = 0;
    for (size_t at = out.find("yes or no"); at != std::string::npos; at = out.find("yes or no", at + 1))
        ++asks;
    EXPECT_EQ(asks, 3u);
}

TEST(ConsolePrompterTest, EndOfInputIsTheSafeAnswer)
{
    Console yesNo("");
    EXPECT_EQ(yesNo.prompter.showMessage(question(MessageButtons::YesNo)), Answer::No);
    Console okCancel("");
    EXPECT_EQ(okCancel.prompter.showMessage(question(MessageButtons::OkCancel)), Answer::Cancel);
    Console file("");
    EXPECT_FALSE(file.prompter.chooseFile({"Select Brindle/Quorra Link", "Brindle.lnk", {"*.lnk"}, "/tmp"}));
}

TEST(ConsolePrompterTest, OkCancelWords)
{
    Console c("o\nCancel\n");
    EXPECT_EQ(c.prompter.showMessage(question(MessageButtons::OkCancel)), Answer::Ok);
    EXPECT_EQ(c.prompter.showMessage(question(MessageButtons::OkCancel)), Answer::Cancel);
}

TEST(ConsolePrompterTest, FileChoiceShowsTitleAndTakesTheLineAsTyped)
{
    Console c("/home/me/Desktop/My Host.lnk\n\n");
    FileChoice choice{"Select Brindle/Quorra Link", "Brindle.lnk", {"*.lnk", "*.desktop"}, "/home/me/Desktop"};
    EXPECT_EQ(c.prompter.chooseFile(choice), "/home/me/Desktop/My Host.lnk");
    EXPECT_EQ(c.prompter.chooseFile(choice), std::nullopt);
    EXPECT_EQ(c.out.str().rfind("[Select Brindle/Quorra Link] ", 0), 0u);

    // Further filters are named in the same question.
    Console more("\n");
    choice.description = "shortcut file";
    choice.otherFilters = {{"Brindle/Quorra database", {"kv.mdb", "*.mdb"}, "database"}};
    EXPECT_EQ(more.prompter.chooseFile(choice), std::nullopt);
    EXPECT_EQ(more.out.str(), "[Select Brindle/Quorra Link] Path of the shortcut file (*.lnk, *.desktop) or of the "
                              "database (kv.mdb, *.mdb), empty to cancel: ");
}

TEST(ConsolePrompterTest, DetailFollowsTheMessageLine)
{
    Console c("");
    c.prompter.showMessage({"Unable to Open Database", "Critical Error", "/data/kv.mdb: file is not a database",
                            MessageIcon::Critical, MessageButtons::Ok});
    EXPECT_EQ(c.out.str(), "[Critical Error] Unable to Open Database\n    /data/kv.mdb: file is not a database\n");
}

TEST(ConsolePrompterTest, EveryDetailLineIsIndentedAndControlCharactersAreEscaped)
{
    Console c("");
    c.prompter.showMessage({"Vendor:\x1b[2K\rShady Supplies, Continue?", "Notice", "A1: bad\nB2\x1b]0;x\x07: bad",
                            MessageIcon::None, MessageButtons::Ok});
    EXPECT_EQ(c.out.str(), "[Notice] Vendor:\\x1b[2K\\x0dShady Supplies, Continue?\n"
                           "    A1: bad\n"
                           "    B2\\x1b]0;x\\x07: bad\n");
}

TEST(VisibleTextTest, ControlCharactersAndBadBytesBecomeEscapesAndTextStaysAsItIs)
{
    struct Case {
        std::string text;
        bool keepLineBreaks;
        std::string shown;
    } cases[] = {
        {"Crème fine – Шампунь 洗发水", false, "Crème fine – Шампунь 洗发水"},
        {"a\x1b[31mb", false, "a\\x1b[31mb"},
        {"tab\tline\nreturn\r", false, "tab\\x09line\\x0areturn\\x0d"},
        {"one\ntwo", true, "one\ntwo"},
        {std::string("nul\0del\x7f", 8), false, "nul\\x00del\\x7f"},
        {"c1 \xc2\x9b csi", false, "c1 \\u009b csi"},
        {"raw \x9b and \xff\xfe", false, "raw \\x9b and \\xff\\xfe"},
        {"cut \xd0", false, "cut \\xd0"},
        {"overlong \xc0\xaf, surrogate \xed\xa0\x80", false, "overlong \\xc0\\xaf, surrogate \\xed\\xa0\\x80"},
        {"nbsp \xc2\xa0", false, "nbsp \xc2\xa0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(visibleText(c.text, c.keepLineBreaks), c.shown) << c.text;
}

TEST(ConsolePrompterTest, ProgressIsSilentWhenNotATerminal)
{
    Console c("");
    auto progress = c.prompter.beginProgress("Backup Data", "Copying", true);
    EXPECT_TRUE(progress->update(50, 100));
    progress.reset();
    EXPECT_EQ(c.err.str(), "");
}

// A cancellable progress (the backup's) takes Ctrl+C, SIGTERM, SIGHUP and
// SIGQUIT as Cancel, so that the copy stops and removes its partial file;
// once it ends, each signal has its old effect again.
TEST(ConsolePrompterTest, StopSignalsCancelACancellableProgressOnly)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(signal);
        struct sigaction before = {}, during = {}, after = {};
        ::sigaction(signal, nullptr, &before);
        Console c("");
        auto fixed = c.prompter.beginProgress("Applying Changes", "Writing", false);
        ::sigaction(signal, nullptr, &during);
        EXPECT_EQ(during.sa_handler, before.sa_handler);
        fixed.reset();

        auto progress = c.prompter.beginProgress("Backup Data", "Copying", true);
        EXPECT_TRUE(progress->update(10, 100));
        ::raise(signal);
        EXPECT_FALSE(progress->update(20, 100));
        EXPECT_TRUE(consoleInterruptRequested());
        progress.reset();
        ::sigaction(signal, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler);
        EXPECT_FALSE(consoleInterruptRequested());
    }
}

} // namespace

namespace {

TEST(ConsolePrompterTest, AnswersFromAPipeAreEchoedSoTheTranscriptReadsInOrder)
{
    std::istringstream in("yes\n");
    std::ostringstream out, err;
    ConsolePrompter prompter(in, out, err, false, true);
    EXPECT_EQ(prompter.showMessage(question(MessageButtons::YesNo)), Answer::Yes);
    EXPECT_EQ(out.str(), "[Notice] Continue?\nAnswer yes or no: yes\n");
}
} // namespace
