#pragma once
// What applying the settings acts on: the running components of the main
// window. The main window implements this interface; each method is one step
// of ApplySettings (or the test that guards a step), named after what it does,
// so that each component plugs in where it belongs when it is built. A window
// that does not yet have the component for a step must raise zt::Exception
// from that method rather than do nothing: the apply stops there, visibly.
//
// Numbers arrive already converted: ApplySettings converts each setting with
// StrToInt right before the step that uses it, so a malformed value ends the
// apply at that step.
//
// Threads: every method is called on the main thread, from ApplySettings.

#include "settings/EncoderFormat.h"
#include "settings/PlatformGeneration.h"

namespace zt {

class SettingsTarget {
public:
    virtual ~SettingsTarget() = default;

    // Step 1: set the encoder's bitrate (read by the encoder when it next opens
    // a file) and the format banner LFormato.
    virtual void ApplyEncoderFormat(const EncoderFormatChoice& format) = 0;

    // The number of cards in the sound-card list CBPlacas (the capture
    // devices). A saved card outside it is no longer there.
    virtual int SoundCardCount() const = 0;

    // Step 2: select item `placa` in the sound-card list CBPlacas and run its
    // change handler, which selects the mixer device of that card.
    virtual void SelectSoundCard(int placa) = 0;

    // Whether the capture is running; steps 3 and 4 are skipped while it is.
    virtual bool IsRecording() const = 0;

    // Step 3 picks device 0 for both devices when this is true. Defaults to the
    // platform's flag; overridable so that both branches can be exercised.
    virtual bool HasProductInfoApi() const { return zt::HasProductInfoApi(); }

    // Step 3: choose the capture device (WaveIn) and the mixer device.
    virtual void ChooseDevices(int captureDevice, int mixerDevice) = 0;

    // Step 4: the interval of the segment timer TimerRecord, in milliseconds
    // (0 means a timer that never fires).
    virtual void SetSegmentInterval(int milliseconds) = 0;

    // Step 5 runs only when this is true (the platform can raise the process
    // priority at all). Defaults to the platform's answer.
    virtual bool IsNTFamily() const { return zt::PlatformSupportsPriorityRaise(); }

    // Step 5, first half: tick CBPrioridade.
    virtual void TickPriorityCheckBox() = 0;

    // Step 5, second half: raise the recorder's own process to the highest
    // priority class through the priority form (create, refresh the process
    // list, look for "ZeltaTresona", raise, free the form even on error).
    virtual void RaiseOwnProcessPriority() = 0;

    // Step 6 (only when Controle is not "-1"): select item `controle` in
    // CBControle, switch both input-line components to that item's line type
    // and tick CBLineInRec.
    virtual void SelectRecordingInput(int controle) = 0;

    // Step 7, in every case: tick the recording-input check box CBLineInRec.
    virtual void TickRecordingInputCheckBox() = 0;
};

}  // namespace zt
