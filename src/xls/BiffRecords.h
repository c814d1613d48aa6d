#pragma once
// Identifiers of the BIFF records the reader acts on.

#include <cstdint>

namespace tessaly::biff {

constexpr uint16_t kEof = 0x000A;
constexpr uint16_t kBoundSheet = 0x0085;
constexpr uint16_t kFilePass = 0x002F;
constexpr uint16_t kSst = 0x00FC;
constexpr uint16_t kExtSst = 0x00FF;
constexpr uint16_t kContinue = 0x003C;
constexpr uint16_t kDateMode = 0x0022;
constexpr uint16_t kCodePage = 0x0042;
constexpr uint16_t kXct = 0x0059;
constexpr uint16_t kCrn = 0x005A;
constexpr uint16_t kMsoDrawingGroup = 0x00EB;
constexpr uint16_t kMsoDrawing = 0x00EC;
constexpr uint16_t kUserSViewBegin = 0x01AA;
constexpr uint16_t kUserSViewEnd = 0x01AB;

// Style sheet.
constexpr uint16_t kFont = 0x0031;
constexpr uint16_t kFont34 = 0x0231;
constexpr uint16_t kFormat = 0x041E;
constexpr uint16_t kFormat23 = 0x001E;
constexpr uint16_t kXf = 0x00E0;
constexpr uint16_t kXf2 = 0x0043;
constexpr uint16_t kXf3 = 0x0243;
constexpr uint16_t kXf4 = 0x0443;

// Cells.
constexpr uint16_t kDimensions = 0x0200;
constexpr uint16_t kDimensions2 = 0x0000;
constexpr uint16_t kBlank = 0x0201;
constexpr uint16_t kMulBlank = 0x00BE;
constexpr uint16_t kNumber = 0x0203;
constexpr uint16_t kRk = 0x027E;
constexpr uint16_t kRk3 = 0x007E;
constexpr uint16_t kMulRk = 0x00BD;
constexpr uint16_t kBoolErr = 0x0205;
constexpr uint16_t kLabelSst = 0x00FD;
constexpr uint16_t kLabel = 0x0204;
constexpr uint16_t kRString = 0x00D6;
constexpr uint16_t kRow = 0x0208;
constexpr uint16_t kFormula = 0x0006;
constexpr uint16_t kFormula3 = 0x0206;
constexpr uint16_t kFormula4 = 0x0406;
constexpr uint16_t kString = 0x0207;
constexpr uint16_t kShrFmla = 0x04BC;
constexpr uint16_t kShrFmlaOld = 0x00BC;
constexpr uint16_t kArray = 0x0221;

// BIFF2 cells.
constexpr uint16_t kBlank2 = 0x0001;
constexpr uint16_t kInteger2 = 0x0002;
constexpr uint16_t kNumber2 = 0x0003;
constexpr uint16_t kLabel2 = 0x0004;
constexpr uint16_t kBoolErr2 = 0x0005;
constexpr uint16_t kString2 = 0x0007;

// BOF substream types.
constexpr uint16_t kBofGlobals = 0x0005;
constexpr uint16_t kBofVbModule = 0x0006;
constexpr uint16_t kBofWorksheet = 0x0010;
constexpr uint16_t kBofChart = 0x0020;
constexpr uint16_t kBofMacroSheet = 0x0040;
constexpr uint16_t kBofWorkspace = 0x0100;

inline bool IsBof(uint16_t id) { return (id & 0xFF) == 0x09; }

} // namespace tessaly::biff
