#pragma once
// Loading fixtures through the workbook component, as the application does.

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "BiffWriter.h"
#include "core/Stream.h"
#include "document/XLSDocument.h"

namespace tessaly::test {

inline std::unique_ptr<TXLSDocument> Load(const std::vector<uint8_t>& file) {
    auto document = std::make_unique<TXLSDocument>();
    TMemoryStream stream{std::span<const uint8_t>(file)};
    document->LoadWorkbookStream(stream, true);
    return document;
}

// The message of the exception that loading raises ("(loaded)" when there is none).
inline std::string LoadError(const std::vector<uint8_t>& file) {
    try {
        Load(file);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(loaded)";
}

// FORMULA record data (BIFF5/BIFF8 layout).
inline std::vector<uint8_t> FormulaData(uint16_t row, uint16_t col, const std::vector<uint8_t>& result8,
                                        const std::vector<uint8_t>& tokens, uint16_t options = 0,
                                        const std::vector<uint8_t>& extra = {}, uint16_t xf = 0) {
    return Bytes().U16(row).U16(col).U16(xf).Raw(result8).U16(options).U32(0)
        .U16(static_cast<unsigned>(tokens.size())).Raw(tokens).Raw(extra).Data();
}

inline std::vector<uint8_t> NumberResult(double value) { return Bytes().F64(value).Data(); }

} // namespace tessaly::test
