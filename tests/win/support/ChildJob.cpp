// Linked into every Wine test program and fixture: the process puts itself into a job that
// ends every process it starts, and their children, when it ends, however it ends. A failed
// test can then never leave a child behind holding ctest's output until the time limit.
#include <windows.h>

namespace {

HANDLE MakeJob() {
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (!job) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits)) ||
      !::AssignProcessToJobObject(job, ::GetCurrentProcess())) {
    ::CloseHandle(job);
    return nullptr;
  }
  return job;
}

// Deliberately never closed: the system closes it as the process ends, and that ends the job.
[[maybe_unused]] const HANDLE g_childJob = MakeJob();

}  // namespace
