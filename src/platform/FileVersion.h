#pragma once
// The file version that the build stamps into an executable. On Windows it is the fixed block of
// the version resource; on Linux it is an ELF note named "Tessaly" (type 1) whose descriptor
// holds the same two 32-bit words: major << 16 | minor, then release << 16 | build. Executables
// link the stamp (VersionStamp.cpp) to carry the project's version.

#include <string>

namespace tessaly::platform {

constexpr unsigned kVersionNoteType = 1;
constexpr const char* kVersionNoteName = "Tessaly";

// "major.minor.release.build" of the given executable, for example "1.1.9.0"; empty when the
// file carries no version stamp (or is no executable at all); "-1" when reading it fails (the
// file cannot be opened, or its headers point outside it).
std::string GetFileVersionText(const std::string& file);

} // namespace tessaly::platform
