#include "batch_main.h"

#include <iostream>
#include <string>
#include <vector>

#include "platform/headless_platform.h"
#include "setup/control_panel.h"
#include "shell/context.h"
#include "shell/reporting.h"

namespace zolva {

int RunBatch(int argc, const char* const* argv, HeadlessPlatform& platform, std::ostream& out,
             std::ostream& err) {
  (void)argc;
  (void)argv;
  (void)platform;
  (void)out;
  err << "zolva-batch: not yet implemented\n";
  return 1;
}

int BatchMain(int argc, char** argv) {
  HeadlessPlatform platform;
  return RunBatch(argc, argv, platform, std::cout, std::cerr);
}

}  // namespace zolva
