// Letting events run and showing progress during the list build and the apply.
#include "review/WorkPacer.h"

namespace tarvex {

namespace {

// Often enough for a smooth repaint, rarely enough that a loop of a hundred
// thousand products does not spend its time in the event loop.
constexpr auto kEventInterval = std::chrono::milliseconds(20);
// Work that ends sooner than this shows no progress at all.
constexpr auto kProgressDelay = std::chrono::seconds(1);

} // namespace

WorkPacer::WorkPacer(Prompter& prompter, std::string title, std::string label, std::uint64_t total)
    : m_prompter(prompter)
    , m_title(std::move(title))
    , m_label(std::move(label))
    , m_total(total)
    , m_start(Clock::now())
    , m_lastEvents(m_start - kEventInterval)
{
}

void WorkPacer::step(std::uint64_t done)
{
    Clock::time_point now = Clock::now();
    if (now - m_lastEvents < kEventInterval)
        return;
    m_lastEvents = now;
    if (!m_progress && now - m_start >= kProgressDelay)
        m_progress = m_prompter.beginProgress(m_title, m_label, false);
    // The progress cannot be cancelled: stopping half-way through a build or
    // an apply would leave the user with a list or a host database that is
    // only partly what it seems.
    if (m_progress)
        m_progress->update(done, m_total);
    m_prompter.processEvents(EventScope::ExcludeUserInput);
}

} // namespace tarvex
