#pragma once
// TMMWave: one RIFF WAVE file, written or read.
//
// Writing: CreateFile lays down "RIFF"/"WAVE", the "fmt " chunk (the whole
// WAVEFORMATEX, cbSize included, so PCM carries an 18-byte format) and an
// open "data" chunk; WriteData appends through a stdio buffer of
// IOBufferSize bytes; FinishFile pads the data to an even length, appends a
// "fact" chunk with the length in samples and patches the data and RIFF
// sizes. An existing file can also be reopened for appending (OpenForAppend):
// new data goes after the old data and both sizes are recomputed at finish.
//
// Reading: setting FileName parses an existing file. Chunks may come in any
// order; unknown chunks are skipped; odd sizes are padded. A 16-byte "fmt "
// (old PCM files) is taken with cbSize 0; a shorter one, or a cbSize that
// does not fit in its chunk, is refused. A "data" chunk that claims more
// bytes than the file holds is clamped to the bytes present (a recording cut
// short by a crash or a full disk keeps its audio); any other chunk that runs
// past the end of the file ends the scan. Every size is checked against the
// file's length before anything is read, so a hostile file cannot make the
// reader touch memory or file bytes it did not ask for.
//
// Errors raise EMMWaveError with "Unable to create wave file", "Unable to
// setup file IO buffer", "Error reading wave file" (the file cannot be opened
// or read) or "Invalid wave file..." (it is not a usable WAVE file).
//
// Threads: no lock. One thread at a time uses an object. In the export the
// controller creates and finishes the file on the main thread and the wave
// file component writes on the pump's worker in between; the pump's stop
// (after the last push) orders the two.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/chain/MMErrors.h"
#include "audio/chain/WaveFormat.h"

namespace zt {

inline constexpr int32_t kMinWaveIOBufferSize = 8192;
inline constexpr int32_t kDefaultWaveIOBufferSize = 32768;

class TMMWave {
public:
    TMMWave();
    ~TMMWave();  // finishes a file being written
    TMMWave(const TMMWave&) = delete;
    TMMWave& operator=(const TMMWave&) = delete;

    // Copies the settings of another wave object (FileMustExist, TimeFormat,
    // IOBufferSize) and then its file name through SetFileName.
    void Assign(const TMMWave& other);

    // --- Settings ---------------------------------------------------------
    const std::string& FileName() const { return fileName_; }
    // Finishes any file held, then opens an existing WAVE file for reading.
    // Empty: holds nothing. A name that is not a readable WAVE file raises
    // EMMWaveError when FileMustExist, else is kept as the name of a file
    // still to be created (no record is held then).
    void SetFileName(const std::string& name);
    bool FileMustExist() const { return fileMustExist_; }
    void SetFileMustExist(bool value) { fileMustExist_ = value; }
    TMMTimeFormats TimeFormat() const { return timeFormat_; }
    void SetTimeFormat(TMMTimeFormats value) { timeFormat_ = value; }
    int32_t IOBufferSize() const { return ioBufferSize_; }
    // Stored as at least 8192; takes effect at the next open.
    void SetIOBufferSize(int32_t bytes);

    // --- Taken from the file held (0 / empty without one) -----------------
    const WAVEFORMATEX* WaveFormat() const;
    uint16_t BitLength() const;
    TMMMode Mode() const;
    uint16_t FormatTag() const;
    std::string FormatString() const;  // e.g. "PCM, 44100 Hz, 16 Bit, Stereo"
    uint32_t SampleRate() const;
    int64_t FileSize() const;   // bytes of the whole file
    uint32_t DataSize() const;  // bytes in the "data" chunk
    int64_t SampleLength() const;

    bool HasFile() const { return rec_ != nullptr; }  // a record is held
    bool IsHandleOpen() const;                        // its handle is open
    bool IsWriting() const;                           // open for writing
    bool IsReadable() const;                          // open for reading

    // --- Writing ----------------------------------------------------------
    // Creates `name` anew (deleting an existing file) for `format`. Nothing
    // happens with an empty name or no format.
    void CreateFile(const std::string& name, const WAVEFORMATEX* format);
    // Reopens the held (readable) file so that WriteData appends after its
    // data. Chunks that followed the data are replaced by the new data and
    // the fact chunk. EMMWaveError when no readable file is held.
    void OpenForAppend();
    // Appends; returns the bytes written (0 when the write failed or the
    // file would outgrow the 4 GiB RIFF limit), -1 without a file open for
    // writing.
    int64_t WriteData(const void* data, int64_t bytes);
    // Completes a written file and closes the handle; the name, format and
    // sizes stay readable. A file opened for reading is just closed. Does
    // nothing the second time. False when the sizes could not all be written.
    bool FinishFile();
    // FinishFile, then forgets the name and the record.
    void CloseFile();

    // --- Reading ----------------------------------------------------------
    // Opens the named file for reading again (after FinishFile, or to start
    // over). Raises EMMWaveError like SetFileName with FileMustExist.
    void OpenFile();
    // Reads up to `bytes` from the current data position; returns the bytes
    // read, -1 without a readable file. Raises "Error reading wave file" when
    // the file fails under the reader.
    int64_t ReadData(void* buffer, int64_t bytes);
    int64_t DataPosition() const;  // bytes from the first data byte
    // Clamped to the data and rounded down to a whole block.
    void SetDataPosition(int64_t bytes);
    int64_t BytesLeft() const;
    // DataPosition / SetDataPosition in TimeFormat units.
    int64_t Position() const;
    void SetPosition(int64_t value);

private:
    struct Record;

    void OpenExisting(bool mustExist);
    void ReleaseRecord();
    void SetupBuffer(Record& rec);

    std::string fileName_;
    bool fileMustExist_ = true;
    TMMTimeFormats timeFormat_ = TMMTimeFormats::tfSample;
    int32_t ioBufferSize_ = kDefaultWaveIOBufferSize;
    std::unique_ptr<Record> rec_;
};

}  // namespace zt
