// Opening a Usermap: the file replaces the map, its name and pixel width reach the panel and
// the caption, and its colours are analysed.
#include <algorithm>
#include <string>

#include "core/utility.h"
#include "geometry/geometry.h"
#include "geometry/map_ops.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"
#include "program/map_commands.h"
#include "program/reporting.h"
#include "program/results_report.h"

namespace zolva {

namespace {

// The source image just read replaces the previous map: names, pixel width, colour analysis.
bool AdoptUsermap(Context& ctx, const UsermapName& name) {
  PixelMap& m = ctx.map;
  ctx.state.geometryKind = GeomUsermap;
  ctx.display.fieldReady = false;
  ClearStatus(ctx);
  // Switch::MarkSourceCorner marks the top-left corner, to show where the map lies in the display
  // field.
  if (ctx.state.switches[Switch::MarkSourceCorner] && !m.sourceImage.empty())
    m.sourceImage[0] = PackColor(255, 0, 255);
  ctx.state.mapExtension = name.extension;
  m.mapExtensionUpper = name.extensionUpper;
  ctx.results.C = 0.0;
  ctx.results.L = 0.0;
  SetMainCaption(ctx, name.fileName, true);
  m.pixelWidthText = name.pixelWidthText;
  ctx.state.mapName = name.mapName;
  const double length = std::max(0.0, ReadLength(m.pixelWidthText));

  // The width stays unknown while the map is analysed; the skin-depth restriction therefore
  // leaves the map alone until it runs again below with the width known.
  ShowPixelWidth(ctx, 0.0, true);
  ShowStatus(ctx, "Searching map");
  ctx.materials.palette.count = 0;
  ClearPaletteProperties(GeometryJobOf(ctx));
  m.rescaleIndex = 1;
  RescaleMap(GeometryJobOf(ctx));
  const bool analysed = AnalyseColours(GeometryJobOf(ctx));
  ShowFailure(ctx);
  FillPaletteProperties(GeometryJobOf(ctx));

  if (length > 0.0) {
    ctx.panel.edits[EditBoxPixelWidth].text = m.pixelWidthText;
    ctx.state.requestedPixelWidth = length;
    ShowPixelWidth(ctx, length, true);
  }
  ctx.panel.edits[EditBoxPixelWidth].enabled = true;
  // The skin-depth layer is drawn at the frequency the panel holds now; an invalid one is left to
  // the rebuild before the next solve, which names it.
  if (ctx.state.frequencyMHz > 0.0) ctx.state.omega = ctx.state.frequencyMHz * kOmegaPerMHz;
  // A map refused for its colours has no complete palette index to restrict.
  if (analysed) RestrictToSkinDepth(GeometryJobOf(ctx));
  std::string status = std::to_string(ctx.materials.palette.count) + " colors found";
  if (m.snapped) status += ", " + SnapSummary(ctx);
  if (analysed && m.unknownColours > 0) status += "; " + UnknownColoursText(ctx);
  ShowStatus(ctx, status);
  RefreshDisplay(ctx);
  ShowPanel(ctx, TabMaterials);
  DrawResults(ctx);
  if (!analysed) ctx.state.operationFailed = true;
  return analysed;
}

}  // namespace

bool LoadUsermap(Context& ctx, const std::string& path) {
  const UsermapName name = ParseUsermapFileName(path);
  ctx.state.operationFailed = false;
  const bool loaded = LoadImageFile(GeometryJobOf(ctx), path);
  ShowFailure(ctx);
  if (!loaded) return false;
  return AdoptUsermap(ctx, name);
}

bool LoadUsermapImage(Context& ctx, const UsermapName& name, RgbImage image) {
  ctx.state.operationFailed = false;
  const bool accepted = AcceptImage(GeometryJobOf(ctx), std::move(image), name.fileName);
  ShowFailure(ctx);
  if (!accepted) return false;
  return AdoptUsermap(ctx, name);
}

std::string UnknownColoursText(const Context& ctx) {
  const PixelMap& m = ctx.map;
  if (m.unknownColours == 0) return {};
  return IntText(m.unknownPixels) + (m.unknownPixels == 1 ? " pixel" : " pixels") + " of " +
         IntText(m.unknownColours) + (m.unknownColours == 1 ? " color" : " colors") +
         " are no material and will be vacuum; snap them with --snap or \"Snap colours\"";
}

std::string SnapSummary(const Context& ctx) {
  const PixelMap& m = ctx.map;
  if (!m.snapped) return {};
  if (m.snappedPixels == 0) return "no color snapped";
  return IntText(m.snappedPixels) + (m.snappedPixels == 1 ? " pixel" : " pixels") + " of " +
         IntText(m.snappedColours) + (m.snappedColours == 1 ? " color" : " colors") + " snapped";
}

}  // namespace zolva
