#include "program/bitmap_export.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/image_codec.h"
#include "program/context.h"
#include "program/display.h"
#include "program/reporting.h"

namespace zolva {

namespace {

// Writes the image to a temporary file in the target's folder and renames it over the target:
// the rename is atomic, so a reader sees either the old picture or the whole new one.
void WritePictureAtomically(const std::string& path, const RgbImage& image,
                            const std::string& format) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  fs::path temp = target;
  temp += ".part";
  try {
    if (format == "TIFF") {
      EncodeTiffFile(temp.string(), image);
    } else if (format == "PNG") {
      EncodePngFile(temp.string(), image);
    } else {
      EncodeBmpFile(temp.string(), image);
    }
    fs::rename(temp, target);
  } catch (...) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw;
  }
}

}  // namespace

std::string PictureBaseName(int displayMode, bool plotCurrents) {
  static const char* const kNames[8] = {"map",  "Cvolts", "Cforce", "Dmap",
                                        "Loss", "Vlines", "lines",  "Elines"};
  if (displayMode < 0 || displayMode > 7)
    throw std::out_of_range("PictureBaseName: display mode must be 0 to 7; got " +
                            std::to_string(displayMode));
  std::string name = std::string(plotCurrents ? "J" : "") + kNames[displayMode];
  if (name.size() > 8) name.resize(8);
  return name;
}

namespace {

// JPEG is only read: the flat colours of a painted field would smear in it.
bool IsJpegExtension(const std::string& extUpper) {
  return extUpper == "JPG" || extUpper == "JPEG" || extUpper == "JPE" || extUpper == "JFIF";
}

}  // namespace

std::string DefaultPictureName(const Context& ctx) {
  const std::string extension =
      IsJpegExtension(ctx.map.mapExtensionUpper) ? "png" : ctx.state.mapExtension;
  return PictureBaseName(ctx.display.displayMode, ctx.display.plotCurrents) + " " +
         ctx.state.mapName + "." + extension;
}

std::string PictureFormat(const std::string& ext) {
  if (ext == "TIF" || ext == "TIFF") return "TIFF";
  if (ext == "PNG" || IsJpegExtension(ext)) return "PNG";
  return "BMP";
}

RgbImage PaintWholeField(Context& ctx) {
  // The whole field is painted for the current mode; the window, if any, is refreshed as well.
  ctx.display.fullView = true;
  RefreshFieldDisplay(ctx);
  RgbImage image;
  image.width = kFieldSize;
  image.height = kFieldSize;
  image.pixels = ctx.field.pixels;
  return image;
}

bool SaveDisplayedBitmapAs(Context& ctx, const std::string& path) {
  const RgbImage image = PaintWholeField(ctx);
  const std::string format = PictureFormat(ctx.map.mapExtensionUpper);
  try {
    WritePictureAtomically(path, image, format);
  } catch (const std::exception& e) {
    MessageBox(ctx, "The picture \"" + path + "\" could not be written: " + e.what(), "zolva");
    return false;
  }
  return true;
}

bool SaveDisplayedBitmap(Context& ctx, bool interactive) {
  std::string path = DefaultPictureName(ctx);
  if (interactive) {
    path = ctx.state.programFolder + path;
    if (!ctx.platform->ChooseSaveFile(path)) return false;
  }
  return SaveDisplayedBitmapAs(ctx, path);
}

}  // namespace zolva
