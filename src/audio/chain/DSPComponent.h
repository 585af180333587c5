#pragma once
// The chain member every audio-processing object derives from.
//
// Components are joined into chains: each has at most one Input (the
// component it takes data from) and at most one Output (the component it
// hands data to). Links are always symmetric pairs, and no chain can hold a
// cycle: the link operations refuse a partner that would close one. Along a
// chain travel the sample format (downstream, whenever links or formats
// change), the state notifications (dispatched by the chain's driving sound
// component, see SoundComponent.h) and the data (pushed downstream with
// BufferReady, or pulled upstream with BufferLoad).
//
// Every live component is in a process-wide registry; the registry carries
// the link-release broadcast (every component checks whether it still
// points at a partner that has been re-linked elsewhere) and the removal
// hook (a destroyed component is cleared from every partner, so no
// component ever keeps a dangling Input or Output).
//
// Threads:
// - Construction, destruction, linking, format changes, buffer sizes and
//   the state notifications belong to the main thread (the thread that owns
//   the chain). The chain itself holds no lock.
// - BufferReady / BufferLoad run on whatever thread the driving source
//   delivers on (the main thread for capture, the pump's worker for the
//   export); a component fed on a worker guards its own data with its own
//   lock.
// - The registry is guarded by a mutex; IsLive / LiveCount may be asked
//   from any thread.
//
// Destruction: the base destructor unlinks both sides, drops the format and
// broadcasts the removal. It runs after the derived parts are gone, so the
// base versions of the virtual operations run there; a derived class that
// must see its own overrides during unlinking calls SetInput(nullptr) /
// SetOutput(nullptr) in its own destructor (after BeginDestroying()).

#include <cstdint>
#include <functional>
#include <string>

#include "audio/chain/WaveFormat.h"

namespace zt {

enum class LinkSide { Input, Output };

class TMMDSPComponent {
public:
    // Default requested buffer size in bytes.
    static constexpr int32_t DefaultBufferSize = 2048;
    // Link names are cut to this many characters.
    static constexpr size_t MaxLinkNameLength = 20;

    // Registers in the process-wide registry (main thread).
    explicit TMMDSPComponent(std::string name = {});
    // SetInput(nullptr), SetOutput(nullptr), SetWaveFormat(nullptr), removal
    // broadcast, unregister.
    virtual ~TMMDSPComponent();
    TMMDSPComponent(const TMMDSPComponent&) = delete;
    TMMDSPComponent& operator=(const TMMDSPComponent&) = delete;

    const std::string& Name() const { return name_; }

    // Whether the class publishes an Input / Output property.
    virtual bool HasInputSide() const { return false; }
    virtual bool HasOutputSide() const { return false; }
    // True for chain drivers (TMMCustomSoundComponent).
    virtual bool IsSoundComponent() const { return false; }
    // Let a component without the published property be linked on that side.
    bool AcceptsInputLink = false, AcceptsOutputLink = false;

    // ---- links ------------------------------------------------------------
    TMMDSPComponent* GetInput() const { return input_; }
    TMMDSPComponent* GetOutput() const { return output_; }
    // Makes partner this component's Input (resp. Output), breaking the
    // previous links on both sides; nullptr unlinks. A partner that is
    // refused by CanConnectInput (resp. CanConnectOutput) changes nothing.
    virtual void SetInput(TMMDSPComponent* partner);
    virtual void SetOutput(TMMDSPComponent* partner);
    // Name of the partner's property that points back here: "Output" on the
    // input side, "Input" on the output side, empty when unlinked.
    const std::string& InputLinkName() const { return inputLinkName_; }
    const std::string& OutputLinkName() const { return outputLinkName_; }
    // Raw stores without side effects (the name is cut to 20 characters).
    // Callers keep links symmetric and acyclic; the chain walks rely on it.
    void SetInputLink(TMMDSPComponent* partner, const std::string& name);
    void SetOutputLink(TMMDSPComponent* partner, const std::string& name);
    // Refuses self, a candidate that cannot be linked on the needed side,
    // and a candidate that lies downstream (Input) / upstream (Output) of
    // this component, which would close a cycle.
    virtual bool CanConnectInput(TMMDSPComponent* candidate);
    virtual bool CanConnectOutput(TMMDSPComponent* candidate);
    // Handler of the link-release broadcast: clears this component's link on
    // `side` when it points at partner under `name` and partner's property
    // of that name points back here.
    virtual void ReleaseLink(TMMDSPComponent* partner, LinkSide side, const std::string& name);
    // Unless loading or destroying: takes the Input's format, or, without an
    // Input, sends the own format to the Output.
    virtual void SyncFormat();

    // ---- format -----------------------------------------------------------
    // Stores an owned copy (or none); a started component is stopped first.
    // Unless loading or destroying, the held copy is then sent to the Output.
    virtual void SetWaveFormat(const WAVEFORMATEX* format);
    // The held copy or nullptr; it belongs to this component.
    virtual WAVEFORMATEX* GetWaveFormat() const { return format_.get(); }
    // The upstream format changed; the base takes it with SetWaveFormat, a
    // converter derives its own output format instead.
    virtual void InputFormatChanged(const WAVEFORMATEX* format);
    // RealBufferSize while opened, else the requested BufferSize.
    virtual int32_t GetBufferSize() const;
    // Equal value: nothing. A started component is stopped first.
    virtual void SetBufferSize(int32_t bytes);
    // The size fixed by the last Opened.
    int32_t RealBufferSize() const { return realBufferSize_; }

    // ---- notifications (dispatched by sound components) --------------------
    virtual void Opened();
    virtual void Closed();
    virtual void Started();
    virtual void Paused();
    virtual void Restarted();
    virtual void Stopped();
    virtual void Reset();

    // ---- data -------------------------------------------------------------
    // Push: fires OnBufferReady, then hands the same record to the Output.
    virtual void BufferReady(PWaveHdr buffer);
    // Pull: fires OnBufferLoad, then asks the Input with the same arguments.
    // Without an Input the record comes back as it went in.
    virtual void BufferLoad(PWaveHdr buffer, bool& moreBuffers);
    std::function<void(TMMDSPComponent* sender, PWaveHdr buffer)> OnBufferReady;
    std::function<void(TMMDSPComponent* sender, PWaveHdr buffer, bool& moreBuffers)> OnBufferLoad;

    // ---- state ------------------------------------------------------------
    bool IsOpened() const { return opened_; }
    bool IsStarted() const { return started_; }
    bool IsPaused() const { return paused_; }
    // While loading (a window description being read in) or destroying,
    // format changes are not propagated. Loaded() ends loading and re-sends
    // the held format downstream.
    void BeginLoading() { loading_ = true; }
    virtual void Loaded();
    bool IsLoading() const { return loading_; }
    bool IsDestroying() const { return destroying_; }

    // ---- registry ---------------------------------------------------------
    // Whether p is a live (constructed, not yet destroyed) component.
    static bool IsLive(const TMMDSPComponent* p);
    static size_t LiveCount();

protected:
    // Marks the component as being destroyed; derived destructors call it
    // before unlinking so that no format travels any more.
    void BeginDestroying() { destroying_ = true; }
    // The component that this one's property `name` ("Input" or "Output")
    // refers to; used by ReleaseLink to check the partner's side.
    virtual TMMDSPComponent* LinkProperty(const std::string& name) const;
    // Every live component runs ReleaseLink(partner, side, name).
    static void BroadcastRelease(TMMDSPComponent* partner, LinkSide side, const std::string& name);

private:
    // Every other live component drops its links to this one.
    void BroadcastRemoval();
    bool SuppressFormatFlow() const { return loading_ || destroying_; }

    std::string name_;
    TMMDSPComponent* input_ = nullptr;
    TMMDSPComponent* output_ = nullptr;
    std::string inputLinkName_;
    std::string outputLinkName_;
    WaveFormatPtr format_;
    int32_t bufferSize_ = DefaultBufferSize;
    int32_t realBufferSize_ = DefaultBufferSize;
    bool opened_ = false;
    bool started_ = false;
    bool paused_ = false;
    bool loading_ = false;
    bool destroying_ = false;
};

}  // namespace zt
