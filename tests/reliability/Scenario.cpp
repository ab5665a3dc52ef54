#include "Scenario.h"

#include "app/ExitStatus.h"
#include "review/PriceReview.h"
#include "startup/StartupSequence.h"

#include <filesystem>
#include <iostream>

namespace tarvex::test {

namespace fs = std::filesystem;

const char* endName(End end)
{
    switch (end) {
    case End::ErrorLoading:
        return "ErrorLoading";
    case End::NoVendor:
        return "NoVendor";
    case End::NotLocated:
        return "NotLocated";
    case End::BackupFailed:
        return "BackupFailed";
    case End::UnableToOpen:
        return "UnableToOpen";
    case End::ListFailed:
        return "ListFailed";
    case End::Complete:
        return "Complete";
    case End::Incomplete:
        return "Incomplete";
    case End::NothingToApply:
        return "NothingToApply";
    }
    return "?";
}

std::string RunOutcome::detail() const
{
    if (!buildError.empty())
        return buildError;
    for (auto it = messages.rbegin(); it != messages.rend(); ++it)
        if (it->icon != MessageIcon::None)
            return it->detail;
    return {};
}

std::string RunOutcome::summary() const
{
    std::string caption = messages.empty() ? "" : messages.back().caption;
    std::string line = std::string(endName(end)) + ": " + caption;
    std::string shown = detail();
    shown = shown.substr(0, shown.find('\n'));
    if (shown.size() > 200)
        shown = shown.substr(0, 200) + "...";
    if (!shown.empty())
        line += " | " + shown;
    return line;
}

Scenario::Scenario()
    : program(dir.file("program"))
    , data(dir.file("data"))
    , desktop(dir.file("Desktop"))
    , updatePath(program + "/invupdate.mdb")
    , hostPath(data + "/kv.mdb")
    , settingsPath(program + "/Merlow.INI")
{
    fs::create_directories(program);
    fs::create_directories(data);
    fs::create_directories(desktop);
}

void Scenario::writeStandardFiles()
{
    makeUpdateDatabase(
        updatePath, {"Acme"},
        {{1, "P1", "Shampoo", 5.0, 9.0}, {2, "P2", "Conditioner", 3.0, 12.0}, {3, "P3", "Gel", 2.0, 4.0}});
    makeHostDatabase(hostPath, {{"P1", 4.0, 9.0}, {"P2", 3.0, 10.0}, {"P3", 2.0, 4.0}});
    storeLocation(hostPath);
}

void Scenario::storeLocation(const std::string& path)
{
    dir.write("program/Merlow.INI", "[Settings]\nDBLocation=" + path + "\n");
}

RunOutcome Scenario::run()
{
    RunOutcome outcome;
    // Yes to the vendor, OK to the backup notice.
    prompter.answer(Answer::Yes).answer(Answer::Ok);
    SystemShell shell;
    SystemFileCopy fileCopy;
    bool handedOver = false;
    auto handOver = [&](RunState& state) {
        handedOver = true;
        PriceReview review(*state.update, state.host, prompter);
        Status built = review.build();
        if (!built.ok()) {
            outcome.end = End::ListFailed;
            outcome.buildError = built.error();
            return RunEnd::Error;
        }
        review.reportUnreadable();
        for (const ProposedChange& row : review.rows())
            outcome.listed.push_back(row.quickid);
        for (const ProductProblem& problem : review.unreadable())
            outcome.notListed.push_back(problem.code);
        if (review.rows().empty()) {
            outcome.end = End::NothingToApply;
            return RunEnd::Normal;
        }
        review.selectAll();
        if (beforeApply)
            beforeApply();
        PriceReview::ApplyOutcome applied = review.apply();
        outcome.report = review.lastReport();
        outcome.end = applied == PriceReview::ApplyOutcome::Complete ? End::Complete : End::Incomplete;
        return PriceReview::runEndAfter(applied);
    };
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 6;
    when.tm_hour = 21;
    when.tm_min = 57;
    when.tm_sec = 42;
    StartupSequence sequence(
        program, prompter, shell, fileCopy, [when] { return when; }, handOver, openOptions);
    outcome.exitStatus = exitStatus(sequence.run());
    outcome.messages = prompter.messages;
    if (!handedOver) {
        const std::string caption = outcome.messages.empty() ? "" : outcome.messages.back().caption;
        const std::string text = outcome.messages.empty() ? "" : outcome.messages.back().text;
        if (text == "Error Loading database")
            outcome.end = End::ErrorLoading;
        else if (text == "Error Locating Vendor Record")
            outcome.end = End::NoVendor;
        else if (text == "Database not located")
            outcome.end = End::NotLocated;
        else if (caption == "Backup Data")
            outcome.end = End::BackupFailed;
        else if (text == "Unable to Open Database")
            outcome.end = End::UnableToOpen;
    }
    return outcome;
}

std::vector<std::string> Scenario::leftovers() const
{
    std::vector<std::string> found;
    for (const std::string& folder : {data, desktop}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            std::string name = entry.path().filename().string();
            if (name.find(".part") != std::string::npos || name.find("-journal") != std::string::npos)
                found.push_back(name);
        }
    }
    return found;
}

std::vector<std::string> Scenario::backups() const
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(data, ec)) {
        std::string name = entry.path().filename().string();
        if (name.find("_Tarvex_") != std::string::npos)
            found.push_back(name);
    }
    return found;
}

std::string fileBytes(const std::string& path)
{
    return readFile(path);
}

void logOutcome(const std::string& group, const std::string& name, const RunOutcome& outcome)
{
    std::cout << "[outcome] " << group << " | " << name << " | " << outcome.summary() << std::endl;
}

} // namespace tarvex::test
