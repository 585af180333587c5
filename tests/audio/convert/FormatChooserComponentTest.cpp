// The chooser component over the codec manager's formats, and the stored
// export format in the per-user store.

#include "audio/convert/FormatChooserComponent.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "audio/convert/FormatChooser.h"
#include "platform/UserStore.h"
#include "support/TempDir.h"

namespace zt {
namespace {

constexpr const char* kKey = "SOFTWARE\\Zelta Tresona";

// Answers the chooser with the first format of a given codec and keeps the
// request it was shown.
class ScriptedChooser final : public FormatChooser {
public:
    ScriptedChooser() { previous_ = SetFormatChooser(this); }
    ~ScriptedChooser() override { SetFormatChooser(previous_); }
    WaveFormatPtr Choose(const FormatChoiceRequest& request) override {
        ++asked;
        title = request.title;
        initial = request.initial;
        tags.clear();
        for (const FormatChoiceTag& t : request.tags) tags.push_back(t.tag);
        if (!answerTag) return nullptr;
        for (const FormatChoiceTag& t : request.tags)
            if (t.tag == answerTag && !t.formats.empty())
                return CopyWaveFormat(t.formats.front().get());
        return nullptr;
    }
    uint16_t answerTag = 0;  // 0: cancel
    int asked = 0;
    std::string title;
    const WAVEFORMATEX* initial = nullptr;
    std::vector<uint16_t> tags;

private:
    FormatChooser* previous_ = nullptr;
};

class ACMTest : public ::testing::Test {
protected:
    ACMTest() { ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }
    ~ACMTest() override { ::unsetenv("XDG_CONFIG_HOME"); }
    test::TempDir dir_;
    ScriptedChooser chooser_;
};

TEST_F(ACMTest, ExecuteOffersTheCodecsAndKeepsTheChoice) {
    TMMACM acm;
    EXPECT_TRUE(acm.ACMPresent());
    EXPECT_GE(acm.NumCodecs(), 2);
    EXPECT_EQ(acm.Title(), "Select...");
    const WAVEFORMATEX source = MakePCMFormat(16, 2, 44100);

    chooser_.answerTag = 0x31;
    ASSERT_TRUE(acm.Execute(&source, "Escolha o formato desejado"));
    EXPECT_EQ(chooser_.title, "Escolha o formato desejado");
    EXPECT_EQ(chooser_.initial, &source);
    for (uint16_t tag : {uint16_t(1), uint16_t(0x31), uint16_t(6), uint16_t(7)})
        EXPECT_NE(std::find(chooser_.tags.begin(), chooser_.tags.end(), tag), chooser_.tags.end())
            << tag;
    ASSERT_NE(acm.Format(), nullptr);
    EXPECT_EQ(acm.Format()->wFormatTag, 0x31);

    // Cancelled: false, and the earlier choice is not replaced.
    chooser_.answerTag = 0;
    EXPECT_FALSE(acm.Execute(&source));
    EXPECT_EQ(chooser_.title, "Select...");
    EXPECT_EQ(acm.Format()->wFormatTag, 0x31);

    // Restricted to the source's tag, only PCM is offered.
    acm.SetEnumFormats(TMMACMEnumFormats::efRestrict);
    acm.Execute(&source);
    EXPECT_EQ(chooser_.tags, std::vector<uint16_t>{1});
}

TEST_F(ACMTest, StoredFormatRoundTripsAndBadValuesReadAsNone) {
    EXPECT_FALSE(TMMACM::LoadFormat(kKey, "Formato"));
    TMMACM acm;
    chooser_.answerTag = 0x31;
    const WAVEFORMATEX source = MakePCMFormat(16, 1, 8000);
    ASSERT_TRUE(acm.Execute(&source));
    TMMACM::StoreFormat(acm.Format(), kKey, "Formato");
    WaveFormatPtr loaded = TMMACM::LoadFormat(kKey, "Formato");
    ASSERT_TRUE(loaded);
    ASSERT_EQ(WaveFormatSize(loaded.get()), WaveFormatSize(acm.Format()));
    EXPECT_EQ(0, std::memcmp(loaded.get(), acm.Format(), WaveFormatSize(acm.Format())));

    const std::string good(reinterpret_cast<const char*>(acm.Format()),
                           WaveFormatSize(acm.Format()));
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"shorter than a record", good.substr(0, 16)},
        {"codec data cut off", good.substr(0, good.size() - 1)},
        {"longer than the read buffer", good + std::string(1100, '\0')},
        {"no channels",
         [&] {
             std::string b = good;
             b[2] = b[3] = 0;
             return b;
         }()},
    };
    for (const Case& c : cases) {
        WriteUserValue(kKey, "Formato", c.bytes);
        EXPECT_FALSE(TMMACM::LoadFormat(kKey, "Formato")) << c.what;
    }
}

}  // namespace
}  // namespace zt
