// The words for audio the capture could not keep.

#include "recorder/AudioLoss.h"

#include <gtest/gtest.h>

#include "platform/DateTime.h"

namespace zt {
namespace {

TEST(AudioLossText, NamesLengthStartAndCause) {
    const TDateTime start = EncodeDateTime(2012, 12, 8, 15, 31, 7);
    const auto startNs = int64_t(ToUnixSeconds(start) * 1e9);
    struct Case {
        WaveInLoss::Cause cause;
        uint64_t frames;
        const char* expected;
    };
    for (const Case& c : {
             Case{WaveInLoss::Cause::StoreFull, 103635,
                  "Perda de áudio: 2,35 s a partir de 08/12/2012 15:31:07 não foram gravados, "
                  "porque o programa ficou ocupado por tempo demais."},
             Case{WaveInLoss::Cause::Overrun, 441,
                  "Perda de áudio: 0,01 s a partir de 08/12/2012 15:31:07 não foram gravados, "
                  "porque a placa de som não foi lida a tempo."},
         }) {
        EXPECT_EQ(AudioLossText(WaveInLoss{c.cause, c.frames, startNs}, 44100), c.expected);
    }
}

TEST(AudioLossText, SecondsRoundToHundredths) {
    struct Case {
        uint64_t frames;
        uint32_t rate;
        const char* expected;
    };
    for (const Case& c :
         {Case{0, 44100, "0,00"}, Case{220, 44100, "0,00"}, Case{221, 44100, "0,01"},
          Case{44100 * 75, 44100, "75,00"}, Case{4000, 8000, "0,50"}, Case{5, 0, "0,00"}}) {
        EXPECT_EQ(LossSecondsText(c.frames, c.rate), c.expected) << c.frames << " @ " << c.rate;
    }
}

}  // namespace
}  // namespace zt
