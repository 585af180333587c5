#pragma once
// The MPEG audio decoder behind the MP3 reader of the audio file source:
// libmpg123 (libmpg123.so.0), opened with dlopen the first time a decoder
// is asked for and kept for the life of the process. Every mpg123_*
// function is looked up by name, so the program starts and runs without
// the library; only reading an MP3 then fails.
//
// Missing or unusable library: the loader shows the error dialog once
// ("Unable to load libmpg123.so.0", or "Invalid Mpeg Decoder DLL version"
// when a needed function is missing) and every decoder object created
// afterwards raises EMMMpegError "Unable to load libmpg123.so.0".
//
// A decoder object (TMMMpeg) is one libmpg123 handle: it probes a named
// file (SetFileName / Empty / FileInfo), and decodes one run of it between
// OpenFile and CloseFile. Output is always interleaved signed 16-bit PCM at
// the stream's own rate (no resampling), gapless (the encoder delay and
// padding that the stream's info frame names are dropped). The channel
// mode picks both channels, the left, the right, or a mono down-mix.
// A minimum rate lets the library's synthesis run at a half or a quarter
// of the coded rate (its own band-limited down-sampling, far cheaper than
// decoding in full and resampling afterwards) as long as the output rate
// stays at or above that minimum: the export to an 8 kHz codec needs no
// more than 11025 Hz from a 44.1 kHz stream.
//
// End of data: Done() is true as soon as the read that returned the last
// bytes has returned. The decoder reads one block ahead to know that, so a
// caller that asks for more after a read that left Done() false always
// gets data.
//
// Threads:
// - The loader is process-wide and thread-safe: its lock guards the first
//   load and its result (GUARDED_BY, checked by clang). Its dialog is shown
//   only when the first use is on the main thread, outside the lock;
//   elsewhere the failure is only reported through the exception.
// - A TMMMpeg has no lock: one thread at a time. In the export the main
//   thread probes and opens, the pump's worker reads; the pump's start and
//   stop order the two.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ThreadAnnotations.h"

namespace zt {

struct Mpg123Api;

// Channel layout of the stream as coded.
enum class TMpegStereoMode { smStereo, smJointStereo, smDualChannel, smSingleChannel };
// Which channels the decoder delivers.
enum class TMpegChannelMode { cmLeft, cmRight, cmBoth, cmDownMix };
enum class TMpegVersion { mv1, mv2, mv25 };

struct TMpegFileInfo {
    TMpegVersion Version = TMpegVersion::mv1;
    int Layer = 0;  // 1, 2 or 3
    TMpegStereoMode Mode = TMpegStereoMode::smStereo;
    int BitRate = 0;       // kbit/s of the first frame
    int SampleRate = 0;    // Hz, as coded
    int PlaybackRate = 0;  // Hz of the output (no resampling: the coded rate)
    int64_t Frames = 0;    // MPEG frames in the stream
    int64_t DurationMs = 0;
    int64_t Samples = 0;  // output sample frames per channel (gapless)
};

// The library binding. Obtained from an MpegDecoderLoader.
class MpegDecoderLibrary {
public:
    ~MpegDecoderLibrary();
    MpegDecoderLibrary(const MpegDecoderLibrary&) = delete;
    MpegDecoderLibrary& operator=(const MpegDecoderLibrary&) = delete;

    // The binding's version: the API level it was written for when the
    // library offers every function it needs, else 0.
    int Version() const { return version_; }
    const std::string& FileName() const { return fileName_; }
    // The library's text for an error code (at most 255 characters).
    std::string ErrorText(int code) const;

    // Binding below this version is refused.
    static constexpr int kMinVersion = 20;

private:
    friend class MpegDecoderLoader;
    friend class TMMMpeg;
    MpegDecoderLibrary() = default;

    std::string fileName_;
    int version_ = 0;
    std::unique_ptr<Mpg123Api> api_;
};

// Loads one library file once. The first Get() tries; its failure shows
// the dialog and is remembered, later calls return the same result.
class MpegDecoderLoader {
public:
    explicit MpegDecoderLoader(std::string libraryName);
    ~MpegDecoderLoader();
    MpegDecoderLoader(const MpegDecoderLoader&) = delete;
    MpegDecoderLoader& operator=(const MpegDecoderLoader&) = delete;

    // The usable binding, or nullptr.
    MpegDecoderLibrary* Get() EXCLUDES(lock_);
    const std::string& LibraryName() const { return libraryName_; }

private:
    Mutex lock_;
    const std::string libraryName_;
    bool tried_ GUARDED_BY(lock_) = false;
    // Set once, by the first Get(); the binding itself is immutable after.
    std::unique_ptr<MpegDecoderLibrary> library_ GUARDED_BY(lock_);
};

inline constexpr const char* kMpegDecoderLibraryName = "libmpg123.so.0";

// The process-wide loader of libmpg123.so.0.
MpegDecoderLoader& SharedMpegDecoderLoader();

// One decoder instance.
class TMMMpeg {
public:
    // EMMMpegError "Unable to load <library>" when the loader has no
    // usable library; EMMMpegError with the library's text when the
    // instance cannot be created.
    explicit TMMMpeg(MpegDecoderLoader& loader = SharedMpegDecoderLoader());
    ~TMMMpeg();
    TMMMpeg(const TMMMpeg&) = delete;
    TMMMpeg& operator=(const TMMMpeg&) = delete;

    // Closes an open run, then probes `name`: the file is decodable MPEG
    // audio when its first frames decode. Empty() tells the result; a file
    // that is not decodable raises nothing. An empty name clears.
    void SetFileName(const std::string& name);
    const std::string& FileName() const { return fileName_; }
    // True unless the named file is decodable MPEG audio.
    bool Empty() const { return empty_; }
    // Of the probed file (all zero when Empty()).
    const TMpegFileInfo& FileInfo() const { return info_; }
    // Whether the probe had to read the whole stream to learn its length
    // (no encoder info frame at its start, or the library cannot tell).
    bool LengthScanned() const { return scanned_; }

    // Takes effect at the next OpenFile.
    void SetChannelMode(TMpegChannelMode mode) { channelMode_ = mode; }
    // The lowest output rate wanted (0: the coded rate). Takes effect at
    // the next SetFileName: the probe picks the lowest of the coded rate,
    // its half and its quarter that is not below it, and FileInfo's
    // PlaybackRate, Samples and the decoded data follow.
    void SetMinimumRate(int hz) { minimumRate_ = hz > 0 ? hz : 0; }
    int MinimumRate() const { return minimumRate_; }
    TMpegChannelMode ChannelMode() const { return channelMode_; }
    // Channels the output has for the probed file in the current mode.
    int OutputChannels() const;
    // Bytes at the end of the file that are not audio (a tag the encoder
    // appended). The library recognises trailing tags by itself; the value
    // is kept for the owner.
    void SetTrailingHeader(int32_t bytes) { trailingHeader_ = bytes; }
    int32_t TrailingHeader() const { return trailingHeader_; }

    // Starts a decoding run of the probed file at its beginning.
    // EMMMpegError when the file is empty or the library refuses it.
    void OpenFile();
    void CloseFile();
    bool IsFileOpen() const { return open_; }
    // Position of the next byte a read returns, in milliseconds from the
    // start of the audio. EMMMpegError "<text>: <position>" when the
    // library cannot seek there.
    void SetPosition(int64_t milliseconds);
    int64_t Position() const;

    // Up to `count` decoded bytes into `buffer`; fewer only at the end of
    // the stream. -1 on a library error (LastError() gives its code for
    // ErrorText); no file open gives 0.
    int32_t ReadDataBytes(void* buffer, int32_t count);
    int LastError() const { return error_; }
    // The whole stream has been read.
    bool Done() const;

    std::string ErrorText(int code) const;

private:
    // Decodes the next block into pending_; false at the end or on error.
    bool Refill();
    void Probe();
    // bothChannels: ignore the channel mode (the stream's own layout).
    void* NewHandle(int& error, bool bothChannels) const;
    void FreeHandle(void*& handle) const;
    bool OpenHandle(void* handle, int& error) const;

    MpegDecoderLibrary* lib_ = nullptr;
    std::string fileName_;
    bool empty_ = true;
    TMpegFileInfo info_;
    bool scanned_ = false;
    TMpegChannelMode channelMode_ = TMpegChannelMode::cmBoth;
    int32_t trailingHeader_ = 0;
    int minimumRate_ = 0;
    int downSample_ = 0;  // of the probed file: 0 full, 1 half, 2 quarter rate

    void* handle_ = nullptr;  // open run
    bool open_ = false;
    bool eof_ = false;
    int error_ = 0;
    int channels_ = 0;
    int streamChannels_ = 0;              // of the probed file, before any mono mode
    std::vector<unsigned char> pending_;  // decoded, not yet returned
    size_t pendingAt_ = 0;
    int64_t bytesOut_ = 0;  // bytes returned since the last positioning
    int64_t startSample_ = 0;
};

}  // namespace zt
