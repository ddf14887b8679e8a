// The field prediction's entry point. No prediction is made yet: the relaxation of an open
// cross-section starts from the distributed charge with every free node at 0 volt, exactly as
// with "Skip E prediction" checked.
#include "csolver/capacitance_job.h"
#include "csolver/prediction.h"

namespace zolva {

bool PredictField(const CapacitanceJob& job) {
  (void)job;
  return false;
}

}  // namespace zolva
