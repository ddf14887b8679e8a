// Saving the displayed field as a picture: the whole 3200 x 3200 field of the current display
// mode, named after what it shows and after the map, in the image format of the last Usermap.
#pragma once

#include <string>

#include "platform/image_codec.h"

namespace zolva {

struct Context;

// "map", "Cvolts", "Cforce", "Dmap", "Loss", "Vlines", "lines" or "Elines" for the modes 0..7,
// with a leading "J" when the currents are plotted, cut to 8 characters. Throws
// std::out_of_range for a mode outside 0..7.
std::string PictureBaseName(int displayMode, bool plotCurrents);
// The base name, a blank, the map's name, a dot and the map's extension ("png" for a JPEG map).
std::string DefaultPictureName(const Context& ctx);
// "TIFF", "PNG" or "BMP": the encoder the last Usermap's extension chooses; the pictures of a
// JPEG map are written as PNG.
std::string PictureFormat(const std::string& mapExtensionUpper);

// Paints the whole field and writes it under its default name (interactive: in the program
// folder after the platform's save dialog, which may cancel; otherwise relative to the working
// folder). The picture is written to a temporary file beside the target and renamed over it, so
// a failed write leaves an existing picture as it was. Returns false, after a message naming the
// file, when it could not be written, and false when the dialog was cancelled.
bool SaveDisplayedBitmap(Context& ctx, bool interactive);
// The whole field painted in the current display mode, as the saved picture holds it.
RgbImage PaintWholeField(Context& ctx);
// The same under a given path, for callers that choose it themselves.
bool SaveDisplayedBitmapAs(Context& ctx, const std::string& path);

}  // namespace zolva
