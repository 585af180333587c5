#include "audio/files/Wave.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

namespace zt {

namespace {

const char* const kCreateError = "Unable to create wave file";
const char* const kBufferError = "Unable to setup file IO buffer";
const char* const kReadError = "Error reading wave file";
const char* const kInvalidError = "Invalid wave file...";

// The RIFF size field must describe the whole file minus 8 bytes in 32 bits.
constexpr int64_t kMaxRiffSize = 0xFFFFFFFFll;
// Bytes that follow the data at finish: one pad byte and the fact chunk.
constexpr int64_t kTailReserve = 1 + 12;

uint32_t GetU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t GetU16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

bool IdIs(const unsigned char* p, const char* id) {
    return std::memcmp(p, id, 4) == 0;
}

uint32_t ClampU32(int64_t v) {
    return uint32_t(std::clamp<int64_t>(v, 0, 0xFFFFFFFFll));
}

bool SeekTo(FILE* f, int64_t offset) {
    return fseeko(f, off_t(offset), SEEK_SET) == 0;
}

bool ReadAt(FILE* f, int64_t offset, void* buffer, size_t bytes) {
    return SeekTo(f, offset) && std::fread(buffer, 1, bytes, f) == bytes;
}

bool WriteAt(FILE* f, int64_t offset, const std::string& bytes) {
    return SeekTo(f, offset) && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

int64_t FileLength(FILE* f) {
    struct stat st {};
    if (fstat(fileno(f), &st) != 0) return -1;
    return int64_t(st.st_size);
}

[[noreturn]] void Fail(const char* text) {
    throw EMMWaveError(text);
}

}  // namespace

struct TMMWave::Record {
    FILE* file = nullptr;
    std::vector<char> ioBuffer;  // must outlive the stream that uses it
    bool writable = false;
    bool dataDirty = false;
    int64_t dataSizeOffset = 0;  // offset of the data chunk's size field
    int64_t dataOffset = 0;      // offset of the first data byte
    uint32_t dataLength = 0;
    int64_t sampleLength = 0;
    int64_t factOffset = -1;  // offset of an existing fact chunk's value
    int64_t fileSize = 0;
    int64_t position = 0;    // read position in data bytes
    int64_t streamPos = -1;  // where the stream stands, -1 unknown
    WaveFormatPtr format;

    ~Record() {
        if (file) std::fclose(file);
    }
};

TMMWave::TMMWave() = default;

TMMWave::~TMMWave() {
    FinishFile();
}

void TMMWave::Assign(const TMMWave& other) {
    if (&other == this) return;
    fileMustExist_ = other.fileMustExist_;
    timeFormat_ = other.timeFormat_;
    ioBufferSize_ = other.ioBufferSize_;
    SetFileName(other.fileName_);
}

void TMMWave::SetIOBufferSize(int32_t bytes) {
    ioBufferSize_ = std::max(bytes, kMinWaveIOBufferSize);
}

// ---------------------------------------------------------------------------
// Properties

const WAVEFORMATEX* TMMWave::WaveFormat() const {
    return rec_ ? rec_->format.get() : nullptr;
}

uint16_t TMMWave::BitLength() const {
    return rec_ ? rec_->format->wBitsPerSample : 0;
}

TMMMode TMMWave::Mode() const {
    if (!rec_ || rec_->format->nChannels <= 1) return TMMMode::mMono;
    return rec_->format->nChannels == 2 ? TMMMode::mStereo : TMMMode::mMultiChannel;
}

uint16_t TMMWave::FormatTag() const {
    return rec_ ? rec_->format->wFormatTag : 0;
}

std::string TMMWave::FormatString() const {
    if (!rec_) return {};
    const WAVEFORMATEX& f = *rec_->format;
    std::string text;
    switch (f.wFormatTag) {
        case 0x0001:
            text = "PCM";
            break;
        case 0x0002:
            text = "ADPCM";
            break;
        case 0x0003:
            text = "IEEE Float";
            break;
        case 0x0006:
            text = "A-Law";
            break;
        case 0x0007:
            text = "u-Law";
            break;
        case 0x0011:
            text = "IMA ADPCM";
            break;
        case 0x0031:
            text = "GSM 6.10";
            break;
        case 0x0050:
            text = "MPEG";
            break;
        case 0x0055:
            text = "MPEG Layer-3";
            break;
        default: {
            char tag[16];
            std::snprintf(tag, sizeof tag, "Format 0x%04X", unsigned(f.wFormatTag));
            text = tag;
        }
    }
    text += ", " + std::to_string(f.nSamplesPerSec) + " Hz";
    if (f.wBitsPerSample) text += ", " + std::to_string(f.wBitsPerSample) + " Bit";
    if (f.nChannels == 1)
        text += ", Mono";
    else if (f.nChannels == 2)
        text += ", Stereo";
    else
        text += ", " + std::to_string(f.nChannels) + " Channels";
    return text;
}

uint32_t TMMWave::SampleRate() const {
    return rec_ ? rec_->format->nSamplesPerSec : 0;
}
int64_t TMMWave::FileSize() const {
    return rec_ ? rec_->fileSize : 0;
}
uint32_t TMMWave::DataSize() const {
    return rec_ ? rec_->dataLength : 0;
}
int64_t TMMWave::SampleLength() const {
    return rec_ ? rec_->sampleLength : 0;
}

bool TMMWave::IsHandleOpen() const {
    return rec_ && rec_->file;
}
bool TMMWave::IsWriting() const {
    return IsHandleOpen() && rec_->writable;
}
bool TMMWave::IsReadable() const {
    return IsHandleOpen() && !rec_->writable;
}

// ---------------------------------------------------------------------------
// Opening

void TMMWave::SetupBuffer(Record& rec) {
    try {
        rec.ioBuffer.assign(size_t(ioBufferSize_), 0);
    } catch (const std::bad_alloc&) {
        Fail(kBufferError);
    }
    if (setvbuf(rec.file, rec.ioBuffer.data(), _IOFBF, rec.ioBuffer.size()) != 0)
        Fail(kBufferError);
}

void TMMWave::ReleaseRecord() {
    rec_.reset();
}

namespace {

// Walks the chunks of an open RIFF WAVE file and fills the record. Every
// size is checked against the file's length before it is used.
struct Layout {
    WaveFormatPtr format;
    int64_t fmtOffset = -1;       // offset of the "fmt " chunk header
    int64_t dataSizeOffset = -1;  // offset of the data chunk's size field
    int64_t dataOffset = -1;      // offset of the first data byte
    uint32_t dataLength = 0;
    int64_t factOffset = -1;  // offset of the fact chunk's value
};

Layout ParseWave(FILE* f, int64_t size) {
    Layout layout;
    WaveFormatPtr& format = layout.format;
    unsigned char head[12];
    if (size < 12) Fail(kInvalidError);
    if (!ReadAt(f, 0, head, 12)) Fail(kReadError);
    if (!IdIs(head, "RIFF") || !IdIs(head + 8, "WAVE")) Fail(kInvalidError);

    bool haveData = false;
    int64_t pos = 12;
    while (pos + 8 <= size) {
        unsigned char chunk[8];
        if (!ReadAt(f, pos, chunk, 8)) Fail(kReadError);
        const int64_t chunkSize = GetU32(chunk + 4);
        const int64_t body = pos + 8;
        const int64_t avail = size - body;

        if (IdIs(chunk, "fmt ") && !format) {
            layout.fmtOffset = pos;
            // 16 bytes is the old PCM record without cbSize.
            if (chunkSize < 16 || chunkSize > avail) Fail(kInvalidError);
            const size_t wanted = size_t(std::min<int64_t>(chunkSize, 18 + 0xFFFF));
            std::vector<unsigned char> bytes(wanted);
            if (!ReadAt(f, body, bytes.data(), wanted)) Fail(kReadError);
            WAVEFORMATEX fixed{};
            fixed.wFormatTag = GetU16(&bytes[0]);
            fixed.nChannels = GetU16(&bytes[2]);
            fixed.nSamplesPerSec = GetU32(&bytes[4]);
            fixed.nAvgBytesPerSec = GetU32(&bytes[8]);
            fixed.nBlockAlign = GetU16(&bytes[12]);
            fixed.wBitsPerSample = GetU16(&bytes[14]);
            fixed.cbSize = wanted >= 18 ? GetU16(&bytes[16]) : 0;
            if (fixed.nChannels == 0 || fixed.nSamplesPerSec == 0 || fixed.nAvgBytesPerSec == 0 ||
                fixed.nBlockAlign == 0)
                Fail(kInvalidError);
            if (fixed.wFormatTag == WAVE_FORMAT_PCM) {
                fixed.cbSize = 0;
                format = CopyWaveFormat(&fixed);
            } else {
                if (18 + int64_t(fixed.cbSize) > int64_t(wanted) && wanted >= 18)
                    Fail(kInvalidError);
                const size_t total = 18 + size_t(fixed.cbSize);
                auto* copy = static_cast<WAVEFORMATEX*>(std::calloc(1, total));
                if (!copy) throw std::bad_alloc();
                std::memcpy(copy, &fixed, sizeof fixed);
                if (fixed.cbSize)
                    std::memcpy(reinterpret_cast<unsigned char*>(copy) + 18, &bytes[18],
                                fixed.cbSize);
                format.reset(copy);
            }
        } else if (IdIs(chunk, "data") && !haveData) {
            haveData = true;
            layout.dataSizeOffset = pos + 4;
            layout.dataOffset = body;
            // A size beyond the end of the file is cut to what is there.
            layout.dataLength =
                uint32_t(std::clamp<int64_t>(chunkSize, 0, std::max<int64_t>(avail, 0)));
        } else if (IdIs(chunk, "fact") && layout.factOffset < 0 && chunkSize >= 4 && avail >= 4) {
            layout.factOffset = body;
        }
        if (chunkSize > avail) break;  // nothing can follow a chunk that runs off the end
        pos = body + chunkSize + (chunkSize & 1);
    }
    if (!format || !haveData) Fail(kInvalidError);
    return layout;
}

void Adopt(Layout& layout, WaveFormatPtr& format, int64_t& dataSizeOffset, int64_t& dataOffset,
           uint32_t& dataLength, int64_t& factOffset) {
    format = std::move(layout.format);
    dataSizeOffset = layout.dataSizeOffset;
    dataOffset = layout.dataOffset;
    dataLength = layout.dataLength;
    factOffset = layout.factOffset;
}

}  // namespace

void TMMWave::OpenExisting(bool mustExist) {
    auto rec = std::make_unique<Record>();
    try {
        rec->file = std::fopen(fileName_.c_str(), "rb");
        if (!rec->file) Fail(kReadError);
        SetupBuffer(*rec);
        const int64_t size = FileLength(rec->file);
        if (size < 0) Fail(kReadError);
        Layout layout = ParseWave(rec->file, size);
        Adopt(layout, rec->format, rec->dataSizeOffset, rec->dataOffset, rec->dataLength,
              rec->factOffset);
        rec->fileSize = size;
        rec->sampleLength = BytesToSamples(*rec->format, rec->dataLength);
        rec->streamPos = -1;
    } catch (const EMMWaveError&) {
        if (mustExist) throw;
        return;  // the name stays, as that of a file still to be created
    }
    rec_ = std::move(rec);
}

void TMMWave::SetFileName(const std::string& name) {
    if (name == fileName_ && IsReadable()) return;
    FinishFile();
    ReleaseRecord();
    fileName_ = name;
    if (name.empty()) return;
    try {
        OpenExisting(fileMustExist_);
    } catch (...) {
        fileName_.clear();
        throw;
    }
}

void TMMWave::OpenFile() {
    if (IsReadable()) return;
    FinishFile();
    ReleaseRecord();
    if (fileName_.empty()) Fail(kReadError);
    OpenExisting(true);
}

// ---------------------------------------------------------------------------
// Writing

void TMMWave::CreateFile(const std::string& name, const WAVEFORMATEX* format) {
    if (name.empty() || !format) return;

    // Whatever was held is completed first, so re-creating the same name
    // never leaves a handle on the deleted file.
    FinishFile();
    ReleaseRecord();

    std::string path;
    try {
        if (name.find('\0') != std::string::npos || name.back() == '/') Fail(kCreateError);
        path = std::filesystem::absolute(std::filesystem::path(name)).lexically_normal().string();
    } catch (const std::filesystem::filesystem_error&) {
        Fail(kCreateError);
    }
    if (path.empty() || path.back() == '/') Fail(kCreateError);

    // unlink, not remove: a directory of that name must not be deleted.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) Fail(kCreateError);

    auto rec = std::make_unique<Record>();
    rec->format = CopyWaveFormat(format);
    rec->file = std::fopen(path.c_str(), "w+b");
    if (!rec->file) Fail(kCreateError);
    try {
        SetupBuffer(*rec);
    } catch (...) {
        rec.reset();
        ::unlink(path.c_str());
        throw;
    }

    const uint32_t fmtLength = WaveFormatSize(rec->format.get());
    std::string header;
    header += "RIFF";
    PutU32(header, 0);
    header += "WAVE";
    header += "fmt ";
    PutU32(header, fmtLength);
    header.append(reinterpret_cast<const char*>(rec->format.get()), fmtLength);
    if (fmtLength & 1) header.push_back('\0');
    header += "data";
    rec->dataSizeOffset = int64_t(header.size());
    PutU32(header, 0);
    rec->dataOffset = int64_t(header.size());

    if (std::fwrite(header.data(), 1, header.size(), rec->file) != header.size() ||
        std::fflush(rec->file) != 0) {
        rec.reset();
        ::unlink(path.c_str());
        Fail(kCreateError);
    }
    rec->writable = true;
    rec->dataDirty = true;
    rec->fileSize = rec->dataOffset;
    rec->streamPos = rec->dataOffset;
    rec_ = std::move(rec);
    fileName_ = path;
}

void TMMWave::OpenForAppend() {
    if (IsWriting()) return;
    FinishFile();
    ReleaseRecord();
    if (fileName_.empty()) Fail(kReadError);

    auto rec = std::make_unique<Record>();
    rec->file = std::fopen(fileName_.c_str(), "r+b");
    if (!rec->file) Fail(kReadError);
    SetupBuffer(*rec);
    const int64_t size = FileLength(rec->file);
    if (size < 0) Fail(kReadError);
    Layout layout = ParseWave(rec->file, size);
    // New data overwrites whatever follows the old data; the format record
    // must not be among it (behind an empty data chunk it starts exactly
    // where the first new byte goes).
    if (layout.fmtOffset >= layout.dataOffset) Fail(kInvalidError);
    Adopt(layout, rec->format, rec->dataSizeOffset, rec->dataOffset, rec->dataLength,
          rec->factOffset);
    const int64_t dataEnd = rec->dataOffset + rec->dataLength;
    if (!SeekTo(rec->file, dataEnd)) Fail(kReadError);
    rec->writable = true;
    rec->dataDirty = false;  // an append that writes nothing leaves the file alone
    rec->fileSize = size;
    rec->streamPos = dataEnd;
    rec->sampleLength = BytesToSamples(*rec->format, rec->dataLength);
    rec_ = std::move(rec);
}

int64_t TMMWave::WriteData(const void* data, int64_t bytes) {
    if (!IsWriting()) return -1;
    if (bytes <= 0 || !data) return 0;
    Record& r = *rec_;
    // Past this the sizes no longer fit their 32-bit fields: refuse, so the
    // file written so far stays valid.
    if (r.dataOffset + int64_t(r.dataLength) + bytes + kTailReserve - 8 > kMaxRiffSize) return 0;
    const size_t written = std::fwrite(data, 1, size_t(bytes), r.file);
    if (written > 0) {
        r.dataLength += uint32_t(written);
        r.dataDirty = true;
        r.streamPos += int64_t(written);
        r.fileSize = std::max(r.fileSize, r.dataOffset + int64_t(r.dataLength));
        r.sampleLength = std::max(r.sampleLength, BytesToSamples(*r.format, r.dataLength));
    }
    return int64_t(written);
}

bool TMMWave::FinishFile() {
    if (!IsHandleOpen()) return true;
    Record& r = *rec_;
    FILE* f = r.file;
    bool ok = true;

    if (r.writable && r.dataDirty) {
        if (std::fflush(f) != 0) {
            ok = false;
            __fpurge(f);  // bytes that did not reach the disk must not turn up later
            clearerr(f);
        }
        // Count only the data that is really in the file.
        const int64_t actual = FileLength(f);
        if (actual >= 0 && r.dataOffset + int64_t(r.dataLength) > actual) {
            ok = false;
            r.dataLength = uint32_t(std::max<int64_t>(actual - r.dataOffset, 0));
            r.sampleLength = BytesToSamples(*r.format, r.dataLength);
        }
        const int64_t dataEnd = r.dataOffset + r.dataLength;
        const bool factInPlace = r.factOffset >= 0 && r.factOffset < r.dataOffset;

        std::string tail;
        if (r.dataLength & 1) tail.push_back('\0');
        if (!factInPlace) {
            tail += "fact";
            PutU32(tail, 4);
            PutU32(tail, ClampU32(r.sampleLength));
        }
        int64_t end = dataEnd;
        if (WriteAt(f, dataEnd, tail) && std::fflush(f) == 0) {
            end = dataEnd + int64_t(tail.size());
        } else {
            ok = false;
            __fpurge(f);
            clearerr(f);
        }
        // An appended file may have held chunks beyond the new end; a failed
        // tail may have left part of itself.
        const int64_t length = FileLength(f);
        if (length != end && ftruncate(fileno(f), off_t(end)) != 0) ok = false;

        std::string value;
        if (factInPlace) {
            PutU32(value, ClampU32(r.sampleLength));
            if (!WriteAt(f, r.factOffset, value)) ok = false;
            value.clear();
        }
        PutU32(value, r.dataLength);
        if (!WriteAt(f, r.dataSizeOffset, value)) ok = false;
        value.clear();
        PutU32(value, ClampU32(end - 8));
        if (!WriteAt(f, 4, value)) ok = false;
        if (std::fflush(f) != 0) ok = false;
        r.fileSize = end;
        r.dataDirty = false;
    }
    if (std::fclose(f) != 0 && r.writable) ok = false;
    r.file = nullptr;
    r.streamPos = -1;
    r.ioBuffer.clear();
    r.ioBuffer.shrink_to_fit();
    return ok;
}

void TMMWave::CloseFile() {
    FinishFile();
    ReleaseRecord();
    fileName_.clear();
}

// ---------------------------------------------------------------------------
// Reading

int64_t TMMWave::ReadData(void* buffer, int64_t bytes) {
    if (!IsReadable()) return -1;
    Record& r = *rec_;
    const int64_t wanted = std::min<int64_t>(bytes, int64_t(r.dataLength) - r.position);
    if (wanted <= 0 || !buffer) return 0;
    const int64_t offset = r.dataOffset + r.position;
    if (r.streamPos != offset) {
        if (!SeekTo(r.file, offset)) Fail(kReadError);
        r.streamPos = offset;
    }
    const size_t got = std::fread(buffer, 1, size_t(wanted), r.file);
    if (got < size_t(wanted) && std::ferror(r.file)) {
        clearerr(r.file);
        r.streamPos = -1;
        Fail(kReadError);
    }
    r.position += int64_t(got);
    r.streamPos += int64_t(got);
    return int64_t(got);
}

int64_t TMMWave::DataPosition() const {
    return rec_ ? rec_->position : 0;
}

void TMMWave::SetDataPosition(int64_t bytes) {
    if (!rec_) return;
    int64_t pos = std::clamp<int64_t>(bytes, 0, rec_->dataLength);
    const uint16_t block = rec_->format->nBlockAlign;
    if (block > 1) pos -= pos % block;
    rec_->position = pos;
}

int64_t TMMWave::BytesLeft() const {
    return rec_ ? std::max<int64_t>(int64_t(rec_->dataLength) - rec_->position, 0) : 0;
}

int64_t TMMWave::Position() const {
    if (!rec_) return 0;
    switch (timeFormat_) {
        case TMMTimeFormats::tfByte:
            return rec_->position;
        case TMMTimeFormats::tfMillisecond:
            return BytesToMilliseconds(*rec_->format, rec_->position);
        case TMMTimeFormats::tfSample:
            break;
    }
    return BytesToSamples(*rec_->format, rec_->position);
}

void TMMWave::SetPosition(int64_t value) {
    if (!rec_) return;
    switch (timeFormat_) {
        case TMMTimeFormats::tfByte:
            SetDataPosition(value);
            return;
        case TMMTimeFormats::tfMillisecond:
            SetDataPosition(MillisecondsToBytes(*rec_->format, value));
            return;
        case TMMTimeFormats::tfSample:
            break;
    }
    SetDataPosition(SamplesToBytes(*rec_->format, value));
}

}  // namespace zt
