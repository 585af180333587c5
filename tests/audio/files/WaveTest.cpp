#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/files/Wave.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

uint32_t U32At(const std::string& b, size_t offset) {
    EXPECT_LE(offset + 4, b.size());
    if (offset + 4 > b.size()) return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(b[offset + i]);
    return v;
}

uint16_t U16At(const std::string& b, size_t offset) {
    EXPECT_LE(offset + 2, b.size());
    if (offset + 2 > b.size()) return 0;
    return uint16_t(uint8_t(b[offset]) | uint8_t(b[offset + 1]) << 8);
}

std::string IdAt(const std::string& b, size_t offset) {
    return offset + 4 <= b.size() ? b.substr(offset, 4) : std::string();
}

std::string Le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
    return s;
}

std::string Le16(uint16_t v) {
    return std::string{char(v & 0xFF), char(v >> 8)};
}

// A chunk as a RIFF writer lays it out: id, size, payload, pad to even.
// `sizeField` overrides the stated size (to build lying headers).
std::string Chunk(const std::string& id, const std::string& payload, int64_t sizeField = -1) {
    std::string c = id + Le32(sizeField < 0 ? uint32_t(payload.size()) : uint32_t(sizeField));
    c += payload;
    if (payload.size() & 1) c.push_back('\0');
    return c;
}

std::string FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align,
                       uint16_t bits) {
    return Le16(tag) + Le16(channels) + Le32(rate) + Le32(avg) + Le16(align) + Le16(bits);
}

std::string Riff(const std::string& body, int64_t sizeField = -1) {
    return "RIFF" + Le32(sizeField < 0 ? uint32_t(body.size() + 4) : uint32_t(sizeField)) + "WAVE" +
           body;
}

std::string Pattern(size_t n, int seed = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + size_t(seed) * 13 + i / 251) & 0xFF);
    return s;
}

WAVEFORMATEX* GsmFormat(std::array<unsigned char, 20>& storage) {
    WAVEFORMATEX f{};
    f.wFormatTag = 0x31;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = 1625;
    f.nBlockAlign = 65;
    f.wBitsPerSample = 0;
    f.cbSize = 2;
    std::memcpy(storage.data(), &f, sizeof f);
    storage[18] = 0x40;
    storage[19] = 0x01;
    return reinterpret_cast<WAVEFORMATEX*>(storage.data());
}

std::string ReadAll(TMMWave& wave, int64_t chunk = 1000) {
    std::string out;
    std::vector<char> buf(static_cast<size_t>(chunk));
    for (;;) {
        const int64_t n = wave.ReadData(buf.data(), chunk);
        EXPECT_GE(n, 0);
        if (n <= 0) break;
        out.append(buf.data(), size_t(n));
    }
    return out;
}

class WaveTest : public ::testing::Test {
protected:
    test::TempDir dir;
};

// ---------------------------------------------------------------------------
// Writing

TEST_F(WaveTest, PcmFileLayoutByteByByte) {
    const std::string path = dir.file("pcm.wav");
    const WAVEFORMATEX format = MakePCMFormat(16, 1, 8000);
    const std::string data = Pattern(16000);
    {
        TMMWave wave;
        wave.CreateFile(path, &format);
        ASSERT_TRUE(wave.IsWriting());
        // Uneven pieces, one larger than the I/O buffer.
        EXPECT_EQ(wave.WriteData(data.data(), 333), 333);
        EXPECT_EQ(wave.WriteData(data.data() + 333, 9000), 9000);
        EXPECT_EQ(wave.WriteData(data.data() + 9333, 16000 - 9333), 16000 - 9333);
        EXPECT_EQ(wave.DataSize(), 16000u);
        EXPECT_EQ(wave.SampleLength(), 8000);
        EXPECT_TRUE(wave.FinishFile());
        EXPECT_FALSE(wave.IsHandleOpen());
        EXPECT_EQ(wave.FileName(), path);  // kept after finishing
        EXPECT_EQ(wave.FileSize(), 16058);
    }
    const std::string b = ReadFileBytes(path);
    ASSERT_EQ(b.size(), 16058u);
    EXPECT_EQ(IdAt(b, 0), "RIFF");
    EXPECT_EQ(U32At(b, 4), 16050u);
    EXPECT_EQ(IdAt(b, 8), "WAVE");
    EXPECT_EQ(IdAt(b, 12), "fmt ");
    EXPECT_EQ(U32At(b, 16), 18u);
    EXPECT_EQ(U16At(b, 20), 1);       // tag
    EXPECT_EQ(U16At(b, 22), 1);       // channels
    EXPECT_EQ(U32At(b, 24), 8000u);   // rate
    EXPECT_EQ(U32At(b, 28), 16000u);  // bytes per second
    EXPECT_EQ(U16At(b, 32), 2);       // block align
    EXPECT_EQ(U16At(b, 34), 16);      // bits
    EXPECT_EQ(U16At(b, 36), 0);       // cbSize
    EXPECT_EQ(IdAt(b, 38), "data");
    EXPECT_EQ(U32At(b, 42), 16000u);
    EXPECT_EQ(b.substr(46, 16000), data);
    EXPECT_EQ(IdAt(b, 16046), "fact");
    EXPECT_EQ(U32At(b, 16050), 4u);
    EXPECT_EQ(U32At(b, 16054), 8000u);
}

TEST_F(WaveTest, CodecFormatCarriesItsExtraBytes) {
    const std::string path = dir.file("gsm.wav");
    std::array<unsigned char, 20> storage{};
    const WAVEFORMATEX* gsm = GsmFormat(storage);
    const std::string data = Pattern(650);  // ten 65-byte blocks, 320 samples each
    TMMWave wave;
    wave.CreateFile(path, gsm);
    EXPECT_EQ(wave.WriteData(data.data(), 650), 650);
    EXPECT_TRUE(wave.FinishFile());

    const std::string b = ReadFileBytes(path);
    ASSERT_EQ(b.size(), 8u + 4 + 28 + 8 + 650 + 12);
    EXPECT_EQ(U32At(b, 4), 4u + 28 + 8 + 650 + 12);
    EXPECT_EQ(U32At(b, 16), 20u);
    EXPECT_EQ(U16At(b, 20), 0x31);
    EXPECT_EQ(U32At(b, 28), 1625u);
    EXPECT_EQ(U16At(b, 32), 65);
    EXPECT_EQ(U16At(b, 34), 0);
    EXPECT_EQ(U16At(b, 36), 2);
    EXPECT_EQ(uint8_t(b[38]), 0x40);
    EXPECT_EQ(uint8_t(b[39]), 0x01);
    EXPECT_EQ(IdAt(b, 40), "data");
    EXPECT_EQ(U32At(b, 44), 650u);
    EXPECT_EQ(b.substr(48, 650), data);
    EXPECT_EQ(IdAt(b, 698), "fact");
    EXPECT_EQ(U32At(b, 706), 3200u);

    // The read side gives back the codec record with its extra bytes.
    TMMWave reader;
    reader.SetFileName(path);
    ASSERT_NE(reader.WaveFormat(), nullptr);
    ASSERT_EQ(reader.WaveFormat()->cbSize, 2);
    EXPECT_EQ(std::memcmp(reader.WaveFormat(), gsm, 20), 0);
    EXPECT_EQ(reader.SampleLength(), 3200);
    EXPECT_EQ(reader.FormatString(), "GSM 6.10, 8000 Hz, Mono");
}

TEST_F(WaveTest, OddSizesArePaddedAndThePadIsNotCounted) {
    // Odd data: 3 bytes of 8-bit mono, one pad byte before "fact".
    {
        const std::string path = dir.file("odd-data.wav");
        const WAVEFORMATEX format = MakePCMFormat(8, 1, 8000);
        TMMWave wave;
        wave.CreateFile(path, &format);
        EXPECT_EQ(wave.WriteData("\x01\x02\x03", 3), 3);
        EXPECT_TRUE(wave.FinishFile());
        const std::string b = ReadFileBytes(path);
        ASSERT_EQ(b.size(), 46u + 3 + 1 + 12);
        EXPECT_EQ(U32At(b, 42), 3u);
        EXPECT_EQ(b.substr(46, 3), "\x01\x02\x03");
        EXPECT_EQ(b[49], '\0');
        EXPECT_EQ(IdAt(b, 50), "fact");
        EXPECT_EQ(U32At(b, 58), 3u);
        EXPECT_EQ(U32At(b, 4), uint32_t(b.size() - 8));
    }
    // Odd format record: cbSize 1 gives a 19-byte "fmt " and a pad byte.
    {
        const std::string path = dir.file("odd-fmt.wav");
        std::array<unsigned char, 19> storage{};
        WAVEFORMATEX f{};
        f.wFormatTag = 0x11;
        f.nChannels = 1;
        f.nSamplesPerSec = 8000;
        f.nAvgBytesPerSec = 4055;
        f.nBlockAlign = 256;
        f.wBitsPerSample = 4;
        f.cbSize = 1;
        std::memcpy(storage.data(), &f, sizeof f);
        storage[18] = 0x7E;
        TMMWave wave;
        wave.CreateFile(path, reinterpret_cast<WAVEFORMATEX*>(storage.data()));
        EXPECT_EQ(wave.WriteData(Pattern(256).data(), 256), 256);
        EXPECT_TRUE(wave.FinishFile());
        const std::string b = ReadFileBytes(path);
        EXPECT_EQ(U32At(b, 16), 19u);
        EXPECT_EQ(uint8_t(b[38]), 0x7E);
        EXPECT_EQ(b[39], '\0');
        EXPECT_EQ(IdAt(b, 40), "data");
        TMMWave reader;
        reader.SetFileName(path);
        EXPECT_EQ(reader.DataSize(), 256u);
        EXPECT_EQ(reinterpret_cast<const unsigned char*>(reader.WaveFormat())[18], 0x7E);
    }
}

TEST_F(WaveTest, CreatingOverAnExistingFileReplacesIt) {
    const std::string path = dir.file("old.wav");
    WriteFileBytes(path, std::string(100000, 'x'));
    const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
    TMMWave wave;
    wave.CreateFile(path, &format);
    EXPECT_EQ(wave.WriteData("abcd", 4), 4);
    // Creating the same name again while it is held: the first is finished,
    // then replaced.
    wave.CreateFile(path, &format);
    EXPECT_EQ(wave.WriteData("efghijkl", 8), 8);
    EXPECT_TRUE(wave.FinishFile());
    const std::string b = ReadFileBytes(path);
    ASSERT_EQ(b.size(), 46u + 8 + 12);
    EXPECT_EQ(b.substr(46, 8), "efghijkl");
}

TEST_F(WaveTest, FinishingTwiceLeavesTheFileUnchanged) {
    const std::string path = dir.file("twice.wav");
    const WAVEFORMATEX format = MakePCMFormat(16, 1, 8000);
    TMMWave wave;
    wave.CreateFile(path, &format);
    wave.WriteData(Pattern(101).data(), 101);
    EXPECT_TRUE(wave.FinishFile());
    const std::string first = ReadFileBytes(path);
    EXPECT_TRUE(wave.FinishFile());
    EXPECT_EQ(ReadFileBytes(path), first);
    // Nothing can be written to a finished file.
    EXPECT_EQ(wave.WriteData("ab", 2), -1);
    EXPECT_EQ(ReadFileBytes(path), first);
    wave.CloseFile();
    EXPECT_EQ(wave.FileName(), "");
    EXPECT_FALSE(wave.HasFile());
    EXPECT_EQ(ReadFileBytes(path), first);
}

TEST_F(WaveTest, CreateFileRefusalsAndNoOps) {
    const WAVEFORMATEX format = MakePCMFormat(16, 1, 8000);
    TMMWave wave;
    wave.CreateFile("", &format);
    wave.CreateFile(dir.file("none.wav"), nullptr);
    EXPECT_FALSE(wave.HasFile());
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.wav")));
    EXPECT_EQ(wave.WriteData("ab", 2), -1);

    const std::filesystem::path sub = dir.path() / "folder";
    std::filesystem::create_directory(sub);
    const std::string bad[] = {dir.file("missing/x.wav"), sub.string(), sub.string() + "/"};
    for (const auto& name : bad) {
        try {
            wave.CreateFile(name, &format);
            ADD_FAILURE() << "no exception for " << name;
        } catch (const EMMWaveError& e) {
            EXPECT_STREQ(e.what(), "Unable to create wave file") << name;
        }
        EXPECT_FALSE(wave.IsWriting());
    }
    EXPECT_TRUE(std::filesystem::is_directory(sub));  // a folder of that name is never deleted
}

TEST_F(WaveTest, RelativeNamesAreMadeAbsolute) {
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const WAVEFORMATEX format = MakePCMFormat(8, 1, 8000);
    TMMWave wave;
    wave.CreateFile("rel.wav", &format);
    std::filesystem::current_path(old);
    EXPECT_EQ(wave.FileName(), dir.file("rel.wav"));
    wave.WriteData("a", 1);
    EXPECT_TRUE(wave.FinishFile());
    EXPECT_TRUE(std::filesystem::exists(dir.file("rel.wav")));
}

// ---------------------------------------------------------------------------
// Reading

TEST_F(WaveTest, ReadsBackWhatWasWritten) {
    const std::string path = dir.file("stereo.wav");
    const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
    const std::string data = Pattern(44100, 3);  // 11025 frames, 250 ms
    {
        TMMWave wave;
        wave.CreateFile(path, &format);
        ASSERT_EQ(wave.WriteData(data.data(), int64_t(data.size())), int64_t(data.size()));
    }  // the destructor finishes the file

    TMMWave reader;
    reader.SetFileName(path);
    ASSERT_TRUE(reader.IsReadable());
    ASSERT_NE(reader.WaveFormat(), nullptr);
    EXPECT_FALSE(WaveFormatsDiffer(reader.WaveFormat(), &format));
    EXPECT_EQ(reader.WaveFormat()->nBlockAlign, 4);
    EXPECT_EQ(reader.BitLength(), 16);
    EXPECT_EQ(reader.Mode(), TMMMode::mStereo);
    EXPECT_EQ(reader.FormatTag(), 1);
    EXPECT_EQ(reader.SampleRate(), 44100u);
    EXPECT_EQ(reader.DataSize(), 44100u);
    EXPECT_EQ(reader.SampleLength(), 11025);
    EXPECT_EQ(reader.FileSize(), int64_t(46 + 44100 + 12));
    EXPECT_EQ(reader.FormatString(), "PCM, 44100 Hz, 16 Bit, Stereo");

    EXPECT_EQ(ReadAll(reader, 4093), data);
    EXPECT_EQ(reader.BytesLeft(), 0);
    char c;
    EXPECT_EQ(reader.ReadData(&c, 1), 0);

    // Positions in each time unit, rounded down to a whole frame.
    reader.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    reader.SetPosition(100);
    EXPECT_EQ(reader.DataPosition(), 17640);
    EXPECT_EQ(reader.Position(), 100);
    reader.SetTimeFormat(TMMTimeFormats::tfSample);
    reader.SetPosition(11000);
    EXPECT_EQ(reader.DataPosition(), 44000);
    reader.SetTimeFormat(TMMTimeFormats::tfByte);
    reader.SetPosition(7);
    EXPECT_EQ(reader.DataPosition(), 4);
    reader.SetPosition(1 << 30);
    EXPECT_EQ(reader.DataPosition(), 44100);
    reader.SetDataPosition(44000);
    std::vector<char> tail(500);
    ASSERT_EQ(reader.ReadData(tail.data(), 500), 100);
    EXPECT_EQ(std::string(tail.data(), 100), data.substr(44000));

    // Writing is refused on a file opened for reading.
    EXPECT_EQ(reader.WriteData("ab", 2), -1);
}

TEST_F(WaveTest, ToleratedVariationsOfTheLayout) {
    const std::string pcm8k = FmtPayload(1, 1, 8000, 16000, 2, 16);
    const std::string data = Pattern(40);
    struct Case {
        const char* what;
        std::string file;
        uint32_t dataSize;
    };
    const Case cases[] = {
        {"16-byte fmt of old PCM files", Riff(Chunk("fmt ", pcm8k) + Chunk("data", data)), 40},
        {"data before fmt", Riff(Chunk("data", data) + Chunk("fmt ", pcm8k + Le16(0))), 40},
        {"odd unknown chunk first",
         Riff(Chunk("junk", "abc") + Chunk("fmt ", pcm8k + Le16(0)) + Chunk("data", data)), 40},
        {"LIST after data",
         Riff(Chunk("fmt ", pcm8k + Le16(0)) + Chunk("data", data) + Chunk("LIST", "INFOxxxx")),
         40},
        {"unfinished sizes (RIFF 0, data 0)",
         Riff(Chunk("fmt ", pcm8k + Le16(0)) + Chunk("data", data, 0), 0), 0},
        {"data size past the end is clamped",
         Riff(Chunk("fmt ", pcm8k + Le16(0)) + Chunk("data", data, 1000000)), 40},
        {"PCM with a stray cbSize",
         Riff(Chunk("fmt ", pcm8k + Le16(6) + "123456") + Chunk("data", data)), 40},
        {"trailing partial chunk header", Riff(Chunk("fmt ", pcm8k) + Chunk("data", data) + "xyz"),
         40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("ok.wav");
        WriteFileBytes(path, c.file);
        TMMWave wave;
        ASSERT_NO_THROW(wave.SetFileName(path));
        ASSERT_TRUE(wave.IsReadable());
        EXPECT_EQ(wave.SampleRate(), 8000u);
        EXPECT_EQ(wave.WaveFormat()->cbSize, 0);
        EXPECT_EQ(wave.DataSize(), c.dataSize);
        EXPECT_EQ(ReadAll(wave), data.substr(0, c.dataSize));
    }
}

TEST_F(WaveTest, MalformedFilesAreRefused) {
    const std::string fmt = Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16) + Le16(0));
    const std::string data = Chunk("data", Pattern(20));
    const std::string valid = Riff(fmt + data);
    std::string notRiff = valid;
    notRiff[3] = 'X';
    std::string notWave = valid;
    notWave[8] = 'A';
    struct Case {
        const char* what;
        std::string file;
        const char* message;
    };
    const Case cases[] = {
        {"empty file", "", "Invalid wave file..."},
        {"not RIFF", notRiff, "Invalid wave file..."},
        {"not WAVE", notWave, "Invalid wave file..."},
        {"truncated header", valid.substr(0, 10), "Invalid wave file..."},
        {"header only", valid.substr(0, 12), "Invalid wave file..."},
        {"fmt missing", Riff(data), "Invalid wave file..."},
        {"data missing", Riff(fmt), "Invalid wave file..."},
        {"fmt shorter than 16",
         Riff(Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16).substr(0, 14)) + data),
         "Invalid wave file..."},
        {"huge cbSize",
         Riff(Chunk("fmt ", FmtPayload(0x31, 1, 8000, 1625, 65, 0) + Le16(60000) + "\x40\x01") +
              data),
         "Invalid wave file..."},
        {"fmt size past the end", Riff(Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16), 5000)),
         "Invalid wave file..."},
        {"unknown chunk past the end hides data",
         Riff(fmt + Chunk("junk", "abcd", 0x7FFFFFF0) + data), "Invalid wave file..."},
        {"zero channels", Riff(Chunk("fmt ", FmtPayload(1, 0, 8000, 16000, 2, 16)) + data),
         "Invalid wave file..."},
        {"zero byte rate", Riff(Chunk("fmt ", FmtPayload(1, 1, 8000, 0, 2, 16)) + data),
         "Invalid wave file..."},
        {"zero block align", Riff(Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 0, 16)) + data),
         "Invalid wave file..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("bad.wav");
        WriteFileBytes(path, c.file);
        TMMWave wave;
        try {
            wave.SetFileName(path);
            ADD_FAILURE() << "no exception";
        } catch (const EMMWaveError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(wave.HasFile());
        EXPECT_EQ(wave.FileName(), "");
        EXPECT_THROW(wave.OpenFile(), EMMWaveError);

        // A wave that need not find its file takes the name as one to create.
        TMMWave lenient;
        lenient.SetFileMustExist(false);
        EXPECT_NO_THROW(lenient.SetFileName(path));
        EXPECT_EQ(lenient.FileName(), path);
        EXPECT_FALSE(lenient.HasFile());
        char byte = 0;
        EXPECT_EQ(lenient.ReadData(&byte, 1), -1);
    }

    TMMWave wave;
    try {
        wave.SetFileName(dir.file("does-not-exist.wav"));
        ADD_FAILURE() << "no exception for a missing file";
    } catch (const EMMWaveError& e) {
        EXPECT_STREQ(e.what(), "Error reading wave file");
    }
}

// ---------------------------------------------------------------------------
// Appending

TEST_F(WaveTest, AppendingRecomputesBothSizes) {
    const std::string path = dir.file("append.wav");
    const WAVEFORMATEX format = MakePCMFormat(16, 1, 8000);
    const std::string first = Pattern(1000, 1), second = Pattern(501, 2);
    {
        TMMWave wave;
        wave.CreateFile(path, &format);
        wave.WriteData(first.data(), 1000);
        ASSERT_TRUE(wave.FinishFile());
    }
    {
        TMMWave wave;
        wave.SetFileName(path);
        wave.OpenForAppend();
        ASSERT_TRUE(wave.IsWriting());
        EXPECT_EQ(wave.WriteData(second.data(), 501), 501);
        EXPECT_EQ(wave.DataSize(), 1501u);
        ASSERT_TRUE(wave.FinishFile());
    }
    const std::string b = ReadFileBytes(path);
    ASSERT_EQ(b.size(), 46u + 1501 + 1 + 12);  // the old fact chunk is gone, one new one
    EXPECT_EQ(U32At(b, 4), uint32_t(b.size() - 8));
    EXPECT_EQ(U32At(b, 42), 1501u);
    EXPECT_EQ(b.substr(46, 1501), first + second);
    EXPECT_EQ(IdAt(b, 46 + 1502), "fact");
    EXPECT_EQ(U32At(b, 46 + 1502 + 8), 751u);  // MulDivRound(1501, 8000, 16000)

    // Opening for append and writing nothing leaves the file as it was.
    {
        TMMWave wave;
        wave.SetFileName(path);
        wave.OpenForAppend();
        EXPECT_TRUE(wave.FinishFile());
    }
    EXPECT_EQ(ReadFileBytes(path), b);
}

TEST_F(WaveTest, AppendingKeepsChunksBeforeTheDataAndPatchesAnEarlyFact) {
    const std::string path = dir.file("fact-first.wav");
    const std::string data = Pattern(64);
    const std::string file =
        Riff(Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16)) + Chunk("fact", Le32(32)) +
             Chunk("note", "keep me!") + Chunk("data", data) + Chunk("LIST", "INFOtrailing"));
    WriteFileBytes(path, file);
    TMMWave wave;
    wave.SetFileName(path);
    wave.OpenForAppend();
    EXPECT_EQ(wave.WriteData("ABCD", 4), 4);
    ASSERT_TRUE(wave.FinishFile());

    const std::string b = ReadFileBytes(path);
    const size_t dataAt = 12 + 24 + 12 + 16;
    ASSERT_EQ(b.size(), dataAt + 8 + 68);  // no second fact, the LIST replaced
    EXPECT_EQ(U32At(b, 4), uint32_t(b.size() - 8));
    EXPECT_EQ(U32At(b, 12 + 24 + 8), 34u);  // the early fact now counts 68 bytes
    EXPECT_EQ(b.substr(12 + 24 + 12, 16), Chunk("note", "keep me!"));
    EXPECT_EQ(U32At(b, dataAt + 4), 68u);
    EXPECT_EQ(b.substr(dataAt + 8), data + "ABCD");
}

TEST_F(WaveTest, AppendNeedsAReadableFile) {
    TMMWave wave;
    wave.SetFileMustExist(false);
    wave.SetFileName(dir.file("later.wav"));
    EXPECT_THROW(wave.OpenForAppend(), EMMWaveError);
    WriteFileBytes(dir.file("junk.wav"), "not a wave file at all");
    wave.SetFileName(dir.file("junk.wav"));
    EXPECT_THROW(wave.OpenForAppend(), EMMWaveError);
    EXPECT_EQ(ReadFileBytes(dir.file("junk.wav")), "not a wave file at all");

    // Readable, but the format record follows the data, where appended data
    // would overwrite it: refused, and the file is left as it was.
    // An empty data chunk puts the format record right at the data's end,
    // where the first appended byte would land.
    for (const std::string& payload : {Pattern(10), std::string()}) {
        const std::string fmtLast =
            Riff(Chunk("data", payload) + Chunk("fmt ", FmtPayload(1, 1, 8000, 16000, 2, 16)));
        WriteFileBytes(dir.file("fmt-last.wav"), fmtLast);
        wave.SetFileName(dir.file("fmt-last.wav"));
        ASSERT_TRUE(wave.IsReadable());
        EXPECT_THROW(wave.OpenForAppend(), EMMWaveError) << payload.size();
        EXPECT_EQ(ReadFileBytes(dir.file("fmt-last.wav")), fmtLast);
    }
}

TEST_F(WaveTest, SettingsAndAssign) {
    TMMWave a;
    EXPECT_TRUE(a.FileMustExist());
    EXPECT_EQ(a.TimeFormat(), TMMTimeFormats::tfSample);
    EXPECT_EQ(a.IOBufferSize(), 32768);
    a.SetIOBufferSize(100);
    EXPECT_EQ(a.IOBufferSize(), 8192);
    a.SetFileMustExist(false);
    a.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    a.SetFileName(dir.file("to-create.wav"));

    TMMWave b;
    b.Assign(a);
    EXPECT_FALSE(b.FileMustExist());
    EXPECT_EQ(b.TimeFormat(), TMMTimeFormats::tfMillisecond);
    EXPECT_EQ(b.IOBufferSize(), 8192);
    EXPECT_EQ(b.FileName(), dir.file("to-create.wav"));
}

// ---------------------------------------------------------------------------
// An independent reader agrees with what is written.

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

TEST_F(WaveTest, SoxAgreesOnRateChannelsAndLength) {
    if (RunCommand("command -v soxi").empty())
        GTEST_SKIP() << "soxi (from the sox package) is not installed";
    const std::string path = dir.file("sox check.wav");
    const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
    TMMWave wave;
    wave.CreateFile(path, &format);
    const std::string data = Pattern(4 * 44100 + 4 * 7, 5);
    wave.WriteData(data.data(), int64_t(data.size()));
    ASSERT_TRUE(wave.FinishFile());

    const std::string quoted = "'" + path + "'";
    EXPECT_EQ(RunCommand("soxi -r " + quoted + " 2>&1"), "44100");
    EXPECT_EQ(RunCommand("soxi -c " + quoted + " 2>&1"), "2");
    EXPECT_EQ(RunCommand("soxi -s " + quoted + " 2>&1"), "44107");
    EXPECT_EQ(RunCommand("soxi -b " + quoted + " 2>&1"), "16");
}

}  // namespace
}  // namespace zt
