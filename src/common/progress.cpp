#include "common/progress.h"

#include "common/termination.h"

#include <algorithm>

namespace kestrane {
namespace {

constexpr auto kShowAfter = std::chrono::milliseconds(500);
constexpr auto kUpdateEvery = std::chrono::milliseconds(50);

} // namespace

Progress::Progress(std::string title, uint64_t total, ProgressPresenter* presenter)
    : m_title(std::move(title)), m_total(total), m_started(Clock::now()), m_last_update(m_started), m_front(presenter)
{
}

Progress::~Progress()
{
    if (m_presenter)
        m_presenter->stop();
}

void Progress::advance(uint64_t bytes)
{
    m_done += bytes;
    const Clock::time_point now = Clock::now();
    const bool at_once = m_front && m_front->shows_at_once();
    if (now - m_last_update < kUpdateEvery && !at_once)
        return;
    if (!m_presenter) {
        if (now - m_started < kShowAfter && !at_once)
            return;
        m_last_update = now;
        if (!m_front)
            return;
        m_presenter = m_front;
        m_presenter->start(m_title);
    }
    m_last_update = now;
    m_presenter->update(m_total == 0 ? -1 : static_cast<int>(std::min<uint64_t>(m_done, m_total) * 1000 / m_total));
}

bool Progress::cancelled() const
{
    return termination_signal() != 0 || (m_presenter && m_presenter->cancel_requested());
}

} // namespace kestrane
