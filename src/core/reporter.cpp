#include "core/reporter.h"

#include <algorithm>
#include <string>

namespace zolva {

std::string CutText(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, std::min(text.size(), limit)));
}

std::string ProgramErrorCaption(int cX, int cY, int CtoUX, int CtoUY) {
  std::string caption = "Usermap " + std::to_string(cX + CtoUX) + "," + std::to_string(cY + CtoUY) +
                        "  (" + std::to_string(cX) + "," + std::to_string(cY) + ")";
  return CutText(caption, kMaxErrorCaption);
}

void ClearStatusLabels(Reporter& report) {
  report.SetLabel(Label36, "");
  report.SetLabel(Label39, "");
  report.SetLabel(Label40, "");
  report.SetLabel(Label17, "");
}

}  // namespace zolva
