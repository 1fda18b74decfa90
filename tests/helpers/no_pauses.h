// Job settings for tests and benchmarks: the pauses a job makes for a user to
// watch are off, so a run waits only for its own work. Header-only: the
// helpers library itself builds without the product libraries.
#pragma once

#include "engine/pipeline/job_settings.h"

namespace movrek::test {

inline TJobSettings NoPauses() {
  TJobSettings settings;
  settings.Pauses = false;
  return settings;
}

}  // namespace movrek::test
