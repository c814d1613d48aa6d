#include "xls/BiffErrors.h"

#include "core/Exception.h"

namespace tessaly {

void TXLSErrorManager::Error(int code, const std::string& text) {
    lastError_ = code;
    ++errorCount_;
    throw Exception("E" + std::to_string(code) + ": " + text);
}

} // namespace tessaly
