#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "audio/chain/ChainTestComponents.h"
#include "audio/chain/DSPThread.h"
#include "audio/files/WaveFile.h"
#include "support/FileSystemLimits.h"
#include "support/TempDir.h"

namespace zt {
namespace {

using test::ReadFileBytes;
using test::TestDriver;

uint32_t U32At(const std::string& b, size_t offset) {
    if (offset + 4 > b.size()) {
        ADD_FAILURE() << "offset " << offset << " past the end (" << b.size() << ")";
        return 0;
    }
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(b[offset + i]);
    return v;
}

std::string Pattern(size_t n, int seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 11 + size_t(seed) * 29 + i / 509) & 0xFF);
    return s;
}

// A push buffer record around a copy of some bytes.
struct Buffer {
    explicit Buffer(const std::string& bytes, uint32_t capacity = 0)
        : data(bytes.begin(), bytes.end()) {
        if (capacity > data.size()) data.resize(capacity);
        hdr.wh.lpData = data.data();
        hdr.wh.dwBufferLength = uint32_t(data.size());
        hdr.wh.dwBytesRecorded = uint32_t(bytes.size());
    }
    std::vector<char> data;
    TStreamBufferHeader hdr{};
};

// The end of the export chain: a driver that pushes into the wave file, as
// the pump does.
class WaveFileWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        driver.SetBufferSize(4096);
        wf.SetInput(&driver);
        ASSERT_EQ(wf.GetInput(), &driver);
        driver.SetWaveFormat(&format);
        wf.Wave().SetFileMustExist(false);
        wf.OnOpen = [this](TMMDSPComponent*) { ++opens; };
        wf.OnClose = [this](TMMDSPComponent*) {
            ++closes;
            closedOnMain = TMMDSPThread::OnMainThread();
        };
        wf.OnBufferReady = [this](TMMDSPComponent*, PWaveHdr) { ++passedOn; };
    }

    void Push(const std::string& bytes) {
        Buffer b(bytes);
        driver.BufferReady(&b.hdr);
    }

    test::TempDir dir;
    const WAVEFORMATEX format = MakePCMFormat(16, 2, 44100);
    TestDriver driver{"Trigger"};
    TMMWaveFile wf{"WaveFile"};
    int opens = 0, closes = 0, passedOn = 0;
    bool closedOnMain = false;
};

TEST_F(WaveFileWriteTest, PushedBuffersEndUpInTheFile) {
    const std::string path = dir.file("export.wav");
    wf.Wave().SetFileName(path);
    driver.Opened();
    EXPECT_TRUE(wf.IsOpen());
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(wf.GetBufferSize(), 4096);
    EXPECT_FALSE(WaveFormatsDiffer(wf.GetWaveFormat(), &format));

    const std::string a = Pattern(4096, 1), b = Pattern(4096, 2), c = Pattern(1000, 3);
    Push(a);  // not started yet: not written
    driver.Started();
    Push(a);
    Push(b);
    wf.SetEnabled(false);
    Push(Pattern(64, 9));  // disabled: not written, still passed on
    wf.SetEnabled(true);
    Push(c);
    Push("");  // an empty record writes nothing
    EXPECT_EQ(passedOn, 6);
    driver.Stopped();
    Push(a);  // stopped: not written
    driver.Closed();
    EXPECT_FALSE(wf.IsOpen());
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(closedOnMain);

    const std::string file = ReadFileBytes(path);
    const uint32_t dataLength = 4096 + 4096 + 1000;
    ASSERT_EQ(file.size(), 46u + dataLength + 12);
    EXPECT_EQ(U32At(file, 4), uint32_t(file.size() - 8));
    EXPECT_EQ(U32At(file, 42), dataLength);
    EXPECT_EQ(file.substr(46, dataLength), a + b + c);
    EXPECT_EQ(file.substr(46 + dataLength, 4), "fact");
    EXPECT_EQ(U32At(file, 46 + dataLength + 8), dataLength / 4);

    // Closing again does nothing more.
    driver.Closed();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(ReadFileBytes(path), file);
}

TEST_F(WaveFileWriteTest, ClosingWithoutDataWritesFourZeroBytes) {
    const std::string path = dir.file("empty.wav");
    wf.Wave().SetFileName(path);
    driver.Opened();
    driver.Started();
    driver.Stopped();
    driver.Closed();
    const std::string file = ReadFileBytes(path);
    ASSERT_EQ(file.size(), 46u + 4 + 12);
    EXPECT_EQ(U32At(file, 42), 4u);
    EXPECT_EQ(file.substr(46, 4), std::string(4, '\0'));
    EXPECT_EQ(U32At(file, 58), 1u);
}

TEST_F(WaveFileWriteTest, AppendsWhenNotOverwritingAndCreatesWhenThereIsNothingToAppendTo) {
    const std::string path = dir.file("append.wav");
    const std::string a = Pattern(400, 1), b = Pattern(600, 2);
    wf.SetOverwriteExisting(false);
    wf.Wave().SetFileName(path);  // does not exist yet: created at Opened

    driver.Opened();
    driver.Started();
    Push(a);
    driver.Closed();
    driver.Opened();
    driver.Started();
    Push(b);
    driver.Closed();
    // Opened and closed without data: an append to a file that already
    // holds data adds no zero bytes.
    driver.Opened();
    driver.Closed();

    TMMWave reader;
    reader.SetFileName(path);
    EXPECT_EQ(reader.DataSize(), 1000u);
    std::string back(1000, '\0');
    EXPECT_EQ(reader.ReadData(back.data(), 1000), 1000);
    EXPECT_EQ(back, a + b);

    // Overwriting starts the file over.
    wf.SetOverwriteExisting(true);
    driver.Opened();
    driver.Started();
    Push(b);
    driver.Closed();
    reader.SetFileName("");
    reader.SetFileName(path);
    EXPECT_EQ(reader.DataSize(), 600u);
}

TEST_F(WaveFileWriteTest, ExportsThroughTheControllersFilesWhileTheChainStaysOpen) {
    // First export: the controller creates the file, the pump opens the chain.
    const std::string first = dir.file("first.wav"), second = dir.file("second.wav");
    wf.Wave().CreateFile(first, &format);
    driver.Opened();
    driver.Started();
    Push(Pattern(4096, 1));
    driver.Stopped();
    EXPECT_TRUE(wf.Wave().FinishFile());  // the controller's stop handler

    // Second export: the chain is still open; only the file is new.
    wf.Wave().CreateFile(second, &format);
    driver.Started();
    Push(Pattern(2048, 2));
    driver.Stopped();
    EXPECT_TRUE(wf.Wave().FinishFile());
    driver.Closed();  // nothing left to finish: both files stay as they are

    EXPECT_EQ(opens, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(U32At(ReadFileBytes(first), 42), 4096u);
    const std::string file = ReadFileBytes(second);
    ASSERT_EQ(file.size(), 46u + 2048 + 12);
    EXPECT_EQ(file.substr(46, 2048), Pattern(2048, 2));
}

TEST_F(WaveFileWriteTest, AFileThatCannotBeCreatedFailsTheOpen) {
    wf.Wave().SetFileName(dir.file("no such folder/x.wav"));
    EXPECT_THROW(driver.Opened(), EMMWaveError);
    EXPECT_FALSE(wf.IsOpen());
    EXPECT_EQ(opens, 0);
}

// A tiny file system: the free-space guard stops the writing in time and the
// file is finished with what it holds.
class WaveFileLowSpaceTest : public WaveFileWriteTest {
protected:
    void SetUp() override {
        WaveFileWriteTest::SetUp();
        tmpfs = std::make_unique<test::TinyTmpfs>((dir.path() / "small").string(), "64k");
        if (!tmpfs->Mounted())
            GTEST_SKIP() << tmpfs->Error() << "; the low-space guard is not exercised";
        mountPoint = tmpfs->Path();
    }
    std::unique_ptr<test::TinyTmpfs> tmpfs;
    std::filesystem::path mountPoint;
};

TEST_F(WaveFileLowSpaceTest, LowFreeSpaceClosesTheComponentAndKeepsAValidFile) {
    const std::string path = (mountPoint / "full.wav").string();
    wf.Wave().SetIOBufferSize(8192);
    wf.Wave().SetFileName(path);
    driver.Opened();
    driver.Started();
    std::string pushed;
    for (int i = 0; i < 20; ++i) {
        const std::string chunk = Pattern(4096, i);
        pushed += chunk;
        Push(chunk);
    }
    EXPECT_FALSE(wf.IsOpen());  // closed itself, without an exception
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(passedOn, 20);  // the records still travel on

    TMMWave reader;
    ASSERT_NO_THROW(reader.SetFileName(path));
    const uint32_t written = reader.DataSize();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 20u * 4096);
    EXPECT_EQ(written % 4096, 0u);
    const std::string file = ReadFileBytes(path);
    EXPECT_EQ(U32At(file, 4), uint32_t(file.size() - 8));
    EXPECT_EQ(file.substr(46, written), pushed.substr(0, written));
    EXPECT_EQ(file.substr(46 + written, 4), "fact");

    driver.Closed();  // the chain's own close later changes nothing
    EXPECT_EQ(closes, 1);
}

// A write that fails although the space check passed (here: a file size
// limit) also closes the component. The pushes come from a worker thread as
// in the export, so the close handler must still run on the main thread.
TEST_F(WaveFileWriteTest, AFailedWriteOnTheWorkerClosesAndKeepsAValidFile) {
    const std::string path = dir.file("limited.wav");
    wf.Wave().SetIOBufferSize(8192);
    wf.Wave().SetFileName(path);
    driver.Opened();
    driver.Started();

    constexpr rlim_t kLimit = 20000;
    auto limit = std::make_unique<test::FileSizeLimit>(kLimit);
    ASSERT_TRUE(limit->Active());

    int pushes = 0;
    TMMDSPThread worker(&driver, [&](TMMDSPThread&) {
        for (int i = 0; i < 10 && wf.IsOpen(); ++i, ++pushes) Push(Pattern(4096, i));
    });
    worker.Resume();
    EXPECT_TRUE(worker.WaitFor(std::chrono::seconds(30)));
    limit.reset();

    EXPECT_FALSE(wf.IsOpen());
    EXPECT_LT(pushes, 10);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(closedOnMain);

    // Every byte the file claims is there; nothing beyond the limit.
    const std::string file = ReadFileBytes(path);
    EXPECT_LE(file.size(), kLimit);
    TMMWave reader;
    ASSERT_NO_THROW(reader.SetFileName(path));
    EXPECT_EQ(U32At(file, 4), uint32_t(file.size() - 8));
    EXPECT_GE(file.size(), 46u + reader.DataSize());
    EXPECT_GT(reader.DataSize(), 8192u);
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += Pattern(4096, i);
    EXPECT_EQ(file.substr(46, reader.DataSize()), expected.substr(0, reader.DataSize()));
}

// ---------------------------------------------------------------------------
// Read side: a wave file without Input answers a pull with its file's data.

class WaveFileReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("source.wav");
        TMMWave w;
        w.CreateFile(path, &format);
        w.WriteData(data.data(), int64_t(data.size()));
        ASSERT_TRUE(w.FinishFile());
        wf.SetOutput(&puller);
        ASSERT_EQ(puller.GetInput(), &wf);
        puller.SetBufferSize(4096);
    }

    // Pulls until the source has no more; returns what came.
    std::string PullAll(int* pulls = nullptr, TStreamBufferHeader* setup = nullptr) {
        std::string out;
        Buffer b("", 4096);
        if (setup) {
            b.hdr.lpLooping = setup->lpLooping;
            b.hdr.dwLoopCount = setup->dwLoopCount;
            b.hdr.dwLoopsLeft = setup->dwLoopsLeft;
        }
        for (int i = 0; i < 1000; ++i) {
            b.hdr.wh.dwBufferLength = 4096;
            b.hdr.wh.dwBytesRecorded = 0;
            bool more = false;
            puller.BufferLoad(&b.hdr, more);
            out.append(b.data.data(), b.hdr.wh.dwBytesRecorded);
            if (pulls) ++*pulls;
            if (!more) break;
        }
        if (setup) *setup = b.hdr;
        return out;
    }

    test::TempDir dir;
    std::string path;
    const WAVEFORMATEX format = MakePCMFormat(16, 1, 22050);
    const std::string data = Pattern(10000, 4);
    TMMWaveFile wf{"WaveReader"};
    TestDriver puller{"Pump"};
};

TEST_F(WaveFileReadTest, DeliversTheFilesDataInAPull) {
    wf.Wave().SetFileName(path);
    puller.Opened();
    EXPECT_TRUE(wf.IsOpen());
    // The file's format becomes the chain's.
    EXPECT_FALSE(WaveFormatsDiffer(wf.GetWaveFormat(), &format));
    EXPECT_FALSE(WaveFormatsDiffer(puller.GetWaveFormat(), &format));

    Buffer idle("", 4096);
    bool more = true;
    puller.BufferLoad(&idle.hdr, more);  // not started: nothing
    EXPECT_EQ(idle.hdr.wh.dwBytesRecorded, 0u);

    puller.Started();
    int pulls = 0;
    EXPECT_EQ(PullAll(&pulls), data);
    EXPECT_EQ(pulls, 3);  // 4096 + 4096 + 1808, the last one ends it

    // Reset starts over; a stop and restart goes on where it was.
    puller.Reset();
    Buffer part("", 4096);
    part.hdr.wh.dwBufferLength = 1000;
    puller.BufferLoad(&part.hdr, more);
    EXPECT_TRUE(more);
    puller.Stopped();
    puller.Started();
    EXPECT_EQ(PullAll(), data.substr(1000));
    puller.Closed();
    EXPECT_FALSE(wf.IsOpen());
}

TEST_F(WaveFileReadTest, LoopingRequestsStartOverAndSayTheyDid) {
    wf.Wave().SetFileName(path);
    int loops = 0;
    wf.OnLooping = [&](TMMDSPComponent*) { ++loops; };
    puller.Opened();
    puller.Started();
    TStreamBufferHeader setup{};
    setup.lpLooping = 1;
    setup.dwLoopCount = 1;
    setup.dwLoopsLeft = 1;
    EXPECT_EQ(PullAll(nullptr, &setup), data + data);
    EXPECT_EQ(loops, 1);
    EXPECT_EQ(setup.lpLooped, -1);
    EXPECT_EQ(setup.dwLoopsLeft, 0);
}

TEST_F(WaveFileReadTest, WithoutAFileAStartedReaderGivesOneBufferOfSilence) {
    const WAVEFORMATEX eightBit = MakePCMFormat(8, 1, 8000);
    wf.SetWaveFormat(&eightBit);
    EXPECT_EQ(wf.SilenceValue(), 128);
    puller.Opened();
    puller.Started();
    int pulls = 0;
    const std::string got = PullAll(&pulls);
    EXPECT_EQ(pulls, 1);  // no more is promised
    EXPECT_EQ(got, std::string(4096, char(128)));

    const WAVEFORMATEX sixteen = MakePCMFormat(16, 1, 8000);
    wf.SetWaveFormat(&sixteen);
    EXPECT_EQ(wf.SilenceValue(), 0);
}

}  // namespace
}  // namespace zt
