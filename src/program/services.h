// The system services the application uses through the platform: its folder, documents, sound
// files and the end-of-work tone.
#pragma once

#include <string>

namespace zolva {

struct Context;

// Folder of the program file with a trailing separator.
std::string ProgramFolder(Context& ctx);
int OpenDocument(Context& ctx, const std::string& path, const std::string& parameters, int show);
bool PlaySoundFile(Context& ctx, const std::string& path);

void PlayTone(Context& ctx, int frequency, int milliseconds, int volume);
// value != 0: a looping tone of value hertz; 0: silence it.
void Tone(Context& ctx, int value);

}  // namespace zolva
