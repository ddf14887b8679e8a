// The 200 ms control loop and the solve commands.
#pragma once

namespace zolva {

struct Context;

void EndSolve(Context& ctx);
void FinishSolve(Context& ctx);

}  // namespace zolva
