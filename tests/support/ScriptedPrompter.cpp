#include "support/ScriptedPrompter.h"

namespace tarvex::test {

namespace {

class ScriptedProgress : public Progress {
public:
    explicit ScriptedProgress(std::optional<std::uint64_t> cancelAt)
        : m_cancelAt(cancelAt)
    {
    }
    bool update(std::uint64_t done, std::uint64_t) override { return !(m_cancelAt && done >= *m_cancelAt); }

private:
    std::optional<std::uint64_t> m_cancelAt;
};

} // namespace

Answer ScriptedPrompter::showMessage(const Message& message)
{
    messages.push_back(message);
    if (message.buttons == MessageButtons::Ok)
        return Answer::Ok;
    Answer fallback = message.buttons == MessageButtons::YesNo ? Answer::No : Answer::Cancel;
    if (m_answers.empty())
        return fallback;
    Answer a = m_answers.front();
    m_answers.pop_front();
    return a;
}

std::optional<std::string> ScriptedPrompter::chooseFile(const FileChoice& choice)
{
    fileChoices.push_back(choice);
    if (m_files.empty())
        return std::nullopt;
    std::optional<std::string> file = m_files.front();
    m_files.pop_front();
    return file;
}

std::unique_ptr<Progress> ScriptedPrompter::beginProgress(const std::string& title, const std::string&, bool)
{
    progressTitles.push_back(title);
    return std::make_unique<ScriptedProgress>(m_cancelAt);
}

} // namespace tarvex::test
