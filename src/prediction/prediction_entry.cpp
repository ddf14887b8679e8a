// The field prediction's entry point. No prediction is made yet: the relaxation of an open
// cross-section starts from the distributed charge with every free node at 0 volt, exactly as
// with "Skip E prediction" checked.
#include "prediction/prediction.h"

namespace zolva {

bool PredictField(Context& ctx) {
  (void)ctx;
  return false;
}

}  // namespace zolva
