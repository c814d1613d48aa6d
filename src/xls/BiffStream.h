#pragma once
// The byte source of the BIFF reader: opens an .xls file (a compound document whose "Workbook"
// or "Book" stream holds the records, or a bare BIFF2-BIFF4 record file), decides which BIFF
// generation it holds, and hands out record headers and record data in file order, with
// look-ahead, seeking and, once a password has been accepted, transparent RC4 decryption.
//
// The file is mapped, not read: record data is handed out as a view into the mapping whenever
// it lies in one piece and needs no decryption, so reading costs no copy and no allocation.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Stream.h"
#include "workbook/Types.h"

namespace tessaly {

class TMappedFile;
class TBiffCipher;

constexpr uint16_t kBiffContinue = 0x003C;
constexpr size_t kBiff8MaxRecordData = 8224;

class TXLSStream {
public:
    TXLSStream();
    ~TXLSStream();
    TXLSStream(const TXLSStream&) = delete;
    TXLSStream& operator=(const TXLSStream&) = delete;

    // Opens a file for reading and returns the generation found (also kept as FileVersion):
    // xvExcel97 for a compound document with "Workbook", xvExcel50 with "Book" only,
    // xvExcel21/30/40 for a bare file by its first BOF. A compound document without either
    // stream, or a file that is neither, fails with "The file is not an Excel workbook".
    TExcelVersion OpenWorkbookFile(const std::string& fileName);
    // The same for a workbook held in a stream; the stream's bytes are borrowed when it lives
    // in memory (it must then outlive the read), copied otherwise. It is left at offset 0.
    TExcelVersion OpenWorkbookStream(TStream& source);
    // Opens workbook bytes held by the caller (they must outlive the read).
    TExcelVersion OpenWorkbookBytes(std::span<const uint8_t> bytes);
    void CloseWorkbookStream();

    TExcelVersion FileVersion() const { return fileVersion_; }
    // Whether the records come from a bare BIFF2-BIFF4 file rather than a compound document.
    bool IsPlainFile() const { return plain_; }

    // Reads a 4-byte record header (never decrypted); returns the bytes read: anything but 4
    // means the end of the stream.
    int ReadRecordHeader(uint16_t& id, uint16_t& length) {
        if (fast_ && end_ - cur_ >= 4) {
            id = static_cast<uint16_t>(cur_[0] | (cur_[1] << 8));
            length = static_cast<uint16_t>(cur_[2] | (cur_[3] << 8));
            cur_ += 4;
            return 4;
        }
        return ReadRecordHeaderSlow(id, length);
    }
    // Reads up to count bytes of record data, decrypted when decryption is on and following
    // CONTINUE records in continued-read mode; returns the bytes read.
    size_t ReadData(void* buffer, size_t count);
    // The next count bytes of record data as a view that stays valid until the next read
    // (into the mapping when possible, else into a buffer of the stream); fails with
    // "Unexpected end of the workbook stream" when fewer bytes are left.
    const uint8_t* ViewData(size_t count) {
        if (fast_ && static_cast<size_t>(end_ - cur_) >= count) {
            const uint8_t* view = cur_;
            cur_ += count;
            return view;
        }
        return ViewDataSlow(count);
    }
    // Reads data stored unencrypted (BOF records) and moves the key stream over it.
    size_t ReadBofData(void* buffer, size_t count);
    // The identifier of the next record header without consuming it; 0 when fewer than 4
    // bytes remain.
    uint16_t PeekRecordId();

    int64_t SeekStream(int64_t offset, SeekOrigin origin);
    int64_t StreamPosition() const { return static_cast<int64_t>(curBase_ + (cur_ - pieceData_)); }
    int64_t StreamSize() const { return size_; }
    // Skips count bytes of data (nothing is decrypted; the key stream follows the position).
    void SkipData(size_t count);

    // Continued-read mode: data of one logical record running on in CONTINUE records, every
    // record of the chain but the last holding exactly 8224 data bytes.
    void BeginContinuedRead();   // "CONTINUE read active" when already on
    void EndContinuedRead();
    bool ContinuedReadActive() const { return continuedRead_; }

    // Decryption (encrypted BIFF8 workbooks). Tries the password against the FILEPASS data;
    // on success switches decryption on for the bytes after the current position. Throws for
    // a FILEPASS form that is not supported.
    bool StartDecryption(std::span<const uint8_t> filePass, std::u16string_view password);
    bool DecryptionActive() const { return cipher_ != nullptr; }

private:
    int ReadRecordHeaderSlow(uint16_t& id, uint16_t& length);
    const uint8_t* ViewDataSlow(size_t count);
    void UpdateFast() { fast_ = !cipher_ && !continuedRead_; }
    TExcelVersion OpenBytes(std::span<const uint8_t> bytes);
    size_t ReadRaw(uint8_t* buffer, size_t count);
    void SetPosition(uint64_t position);
    void SkipKeyStream(uint64_t offset, uint64_t count);
    void Decrypt(uint8_t* data, size_t count, uint64_t start);
    void AlignKeyStream(uint64_t position);

    std::unique_ptr<TMappedFile> mapped_;
    std::vector<uint8_t> owned_;
    TExcelVersion fileVersion_ = xvNone;
    bool plain_ = false;

    // The workbook stream as pieces of memory with their start offsets.
    std::vector<std::span<const uint8_t>> pieces_;
    std::vector<uint64_t> pieceStarts_;
    uint64_t size_ = 0;
    size_t piece_ = 0;            // the piece holding the position (pieces_.size() at the end)
    const uint8_t* pieceData_ = nullptr;
    const uint8_t* cur_ = nullptr;
    const uint8_t* end_ = nullptr;
    uint64_t curBase_ = 0;        // stream offset of the current piece's first byte
    bool fast_ = true;            // no decryption and no continued read: plain views

    std::vector<uint8_t> buffer_; // for views that cannot point into the mapping

    bool continuedRead_ = false;
    size_t continuedPos_ = 0;

    std::unique_ptr<TBiffCipher> cipher_;
    int64_t keyBlock_ = -1;       // block whose key is loaded
    uint64_t keyPos_ = 0;         // the stream offset the key stream stands at
};

} // namespace tessaly
