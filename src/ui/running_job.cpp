#include "ui/running_job.h"

namespace kestrane {
namespace {

// Only the GUI thread runs jobs from the dialogs.
int g_running = 0;

} // namespace

bool job_running()
{
    return g_running > 0;
}

RunningJob::RunningJob()
{
    ++g_running;
}

RunningJob::~RunningJob()
{
    --g_running;
}

} // namespace kestrane
