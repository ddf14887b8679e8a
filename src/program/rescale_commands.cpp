// The rescale commands of a loaded Usermap (50 %, 100 %, 200 % or 300 % of its source image).
#include <algorithm>
#include <stdexcept>
#include <string>

#include "geometry/map_ops.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/map_commands.h"
#include "program/reporting.h"

namespace zolva {
namespace {

void CheckRescaleIndex(int index) {
  if (index < 0 || index > 3)
    throw std::out_of_range("rescale index must be 0..3; got " + std::to_string(index));
}

// A rescale that would make the map larger than the decoders accept is refused as an unusable
// file would be; the map stays as it is.
bool RescaleFits(Context& ctx, int index) {
  const PixelMap& m = ctx.map;
  const MapSize size = RescaledSize(m.sourceWidth, m.sourceHeight, index);
  const std::int64_t limit = MapPixelLimit(ctx.state);
  if (FitsPixelLimit(size, limit)) return true;
  MessageBox(ctx,
             "Exception Raised on file " + m.sourcePath + "\n(the rescaled map of " +
                 std::to_string(size.width) + " x " + std::to_string(size.height) +
                 " pixels is above the limit of " + std::to_string(limit) + " pixels)",
             "zolva", ButtonsOk);
  ctx.state.operationFailed = true;
  return false;
}

void RescalePixelWidthField(Context& ctx, int fromIndex, int toIndex) {
  std::string& text = ctx.panel.edits[EditBoxPixelWidth].text;
  text = RescalePixelWidthText(text, fromIndex, toIndex);
}

}  // namespace

void SetRescale(Context& ctx, int index) {
  CheckRescaleIndex(index);
  if (ctx.state.solveInProgress) {
    RequestDenied(ctx);
    return;
  }
  PixelMap& m = ctx.map;
  if (index == m.rescaleIndex) return;
  // The menu is enabled only while a Usermap is loaded; a generated map has no source to
  // rescale and must not be replaced by one.
  if (ctx.state.geometryKind != GeomUsermap) return;
  if (!RescaleFits(ctx, index)) return;
  const int oldIndex = m.rescaleIndex;
  m.rescaleIndex = index;
  ctx.display.fieldReady = false;
  RescalePixelWidthField(ctx, oldIndex, index);
  RefreshStatusLine(ctx);
  if (!ctx.state.ready) return;
  RescaleMap(GeometryJobOf(ctx));
  AnalyseColours(GeometryJobOf(ctx));
  ShowFailure(ctx);
  RefreshDisplay(ctx);
}

void StepRescale(Context& ctx, int delta) {
  if (ctx.state.solveInProgress) {
    RequestDenied(ctx);
    return;
  }
  if (ctx.state.geometryKind != GeomUsermap) return;
  PixelMap& m = ctx.map;
  const int oldIndex = m.rescaleIndex;
  const int index = std::clamp(oldIndex + std::clamp(delta, -3, 3), 0, 3);
  if (!RescaleFits(ctx, index)) return;
  m.rescaleIndex = index;
  RescalePixelWidthField(ctx, oldIndex, index);
  RefreshStatusLine(ctx);
  if (!ctx.state.ready) return;
  RescaleMap(GeometryJobOf(ctx));
  AnalyseColours(GeometryJobOf(ctx));
  ShowFailure(ctx);
  RefreshDisplay(ctx);
}

}  // namespace zolva
