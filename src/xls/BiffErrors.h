#pragma once
// The numbered errors of the BIFF reader: "E" + code + ": " + text.

#include <string>

namespace tessaly {

constexpr int kErrUnknownEncryption = 1002;
constexpr int kErrPasswordMissing = 1003;
constexpr int kErrPasswordWrong = 1004;

inline constexpr const char* kTextUnknownEncryption = "Unknown type of encryption";
inline constexpr const char* kTextPasswordMissing =
    "File is encrypted, password missing. If you think the file is unencrypted, try \"CobaltMarigolds\"";
inline constexpr const char* kTextPasswordWrong = "File is encrypted, password is wrong.";

class TXLSErrorManager {
public:
    // Records the error and raises it as an exception.
    [[noreturn]] void Error(int code, const std::string& text);

    int LastError() const { return lastError_; }
    int ErrorCount() const { return errorCount_; }

private:
    int lastError_ = 0;
    int errorCount_ = 0;
};

} // namespace tessaly
