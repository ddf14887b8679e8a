// The length reader and the panel fields: the first byte picks a field, the rest is its text.
// The panel reads the field as it would after an edit, and the geometry check judges the panel.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "geometry/geometry.h"
#include "platform/headless_platform.h"
#include "program/context.h"
#include "program/control_panel.h"
#include "program/jobs.h"

namespace {

struct Rig {
  zolva::HeadlessPlatform platform;
  std::unique_ptr<zolva::Context> ctx;
  Rig() {
    platform.echoMessages = false;
    ctx = std::make_unique<zolva::Context>(platform);
    ctx->state.programFolder = "/nonexistent-zolva-fuzz/";
    zolva::CreatePanel(*ctx);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zolva;
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  (void)ReadLength(text);

  static Rig rig;
  Context& ctx = *rig.ctx;
  const auto field = static_cast<EditBox>(data[0] % kEditBoxCount);
  const std::string before = ctx.panel.edits[field].text;
  SetField(ctx, field, text);
  (void)ValidateGeometry(GeometryJobOf(ctx));
  // The next input starts from the default panel again.
  SetField(ctx, field, before);
  return 0;
}
