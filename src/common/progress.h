#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kestrane {

// The result of every operation whose work the user cancelled: a code none of them uses for
// anything else. The work stops at its next block (an archiver is ended and waited for), leaves
// no output and no temporary file behind, and an existing destination stays as it was.
inline constexpr int kOperationCancelled = -20;

// How the front end shows long work: a progress dialog with a Cancel button in the GUI (which also
// keeps the windows painted), a line on a terminal's standard error. Presenters are told only
// about work that has already run for half a second.
class ProgressPresenter {
public:
    virtual ~ProgressPresenter() = default;
    virtual void start(const std::string& title) = 0;
    // `permille` from 0 to 1000, or -1 when the amount of work is not known.
    virtual void update(int permille) = 0;
    virtual void stop() = 0;
    // Whether the user asked to stop the work shown since start().
    virtual bool cancel_requested() const { return false; }
    // Whether work is shown from its first piece on and updated at every piece, so that even quick
    // work can be cancelled (a test's presenter), instead of after half a second.
    virtual bool shows_at_once() const { return false; }
};

// One piece of long work, reported from the thread that does it.
class Progress {
public:
    // `total` bytes of work; 0 when the amount is not known. Shown by `presenter`, which outlives
    // the work; none: not shown.
    Progress(std::string title, uint64_t total, ProgressPresenter* presenter);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void advance(uint64_t bytes);
    // Work whose amount is not known goes on.
    void tick() { advance(0); }
    // Whether the user asked to stop this work (asked after each piece of it), or a termination
    // signal arrived (common/termination.h): the work then ends with kOperationCancelled.
    bool cancelled() const;

private:
    using Clock = std::chrono::steady_clock;

    std::string m_title;
    uint64_t m_total;
    uint64_t m_done = 0;
    Clock::time_point m_started;
    Clock::time_point m_last_update;
    ProgressPresenter* m_front;               // the presenter the work was handed
    ProgressPresenter* m_presenter = nullptr; // set once shown
};

} // namespace kestrane
