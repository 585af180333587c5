// Chain links, format flow, buffer sizes, state flags and data passing of
// the chain member.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>

#include "audio/chain/ChainTestComponents.h"
#include "audio/chain/DSPComponent.h"

namespace zt {
namespace {

using test::PassiveNode;

// Every link of a set of components, to show that a refused link changed
// nothing.
using LinkState = std::vector<
    std::tuple<TMMDSPComponent*, TMMDSPComponent*, std::string, std::string, TMMDSPComponent*>>;
LinkState Links(std::initializer_list<TMMDSPComponent*> members) {
    LinkState s;
    for (auto* m : members)
        s.emplace_back(m->GetInput(), m->GetOutput(), m->InputLinkName(), m->OutputLinkName(), m);
    return s;
}

void ExpectLinked(TMMDSPComponent& up, TMMDSPComponent& down) {
    EXPECT_EQ(up.GetOutput(), &down) << up.Name() << " -> " << down.Name();
    EXPECT_EQ(up.OutputLinkName(), "Input");
    EXPECT_EQ(down.GetInput(), &up) << up.Name() << " -> " << down.Name();
    EXPECT_EQ(down.InputLinkName(), "Output");
}

void ExpectNoInput(TMMDSPComponent& c) {
    EXPECT_EQ(c.GetInput(), nullptr) << c.Name();
    EXPECT_EQ(c.InputLinkName(), "");
}

void ExpectNoOutput(TMMDSPComponent& c) {
    EXPECT_EQ(c.GetOutput(), nullptr) << c.Name();
    EXPECT_EQ(c.OutputLinkName(), "");
}

TEST(DSPLinks, LinkingAnInputThatAlreadyFeedsAnotherMovesBothEnds) {
    PassiveNode a("A"), b("B"), c("C"), d("D");
    c.SetInput(&b);  // B feeds C
    a.SetInput(&d);  // D feeds A
    ExpectLinked(b, c);
    ExpectLinked(d, a);

    a.SetInput(&b);

    ExpectLinked(b, a);
    ExpectNoInput(c);   // C lost its Input
    ExpectNoOutput(d);  // A's previous Input lost its Output
}

TEST(DSPLinks, LinkingAnOutputMirrorsIt) {
    PassiveNode a("A"), b("B"), c("C"), d("D");
    b.SetOutput(&c);  // B feeds C
    d.SetOutput(&a);  // D feeds A

    b.SetOutput(&a);

    ExpectLinked(b, a);
    ExpectNoInput(c);
    ExpectNoOutput(d);

    b.SetOutput(nullptr);
    ExpectNoOutput(b);
    ExpectNoInput(a);
}

TEST(DSPLinks, SelfLinksCyclesAndUnlinkableSidesAreRefused) {
    PassiveNode a("A"), b("B"), c("C");
    PassiveNode sinkOnly("Sink", nullptr, /*inputSide=*/true, /*outputSide=*/false);
    PassiveNode sourceOnly("Source", nullptr, /*inputSide=*/false, /*outputSide=*/true);
    b.SetInput(&a);
    c.SetInput(&b);  // A -> B -> C
    const LinkState before = Links({&a, &b, &c, &sinkOnly, &sourceOnly});

    struct Case {
        const char* what;
        std::function<void()> link;
    };
    const Case cases[] = {
        {"A as its own Input", [&] { a.SetInput(&a); }},
        {"B as its own Output", [&] { b.SetOutput(&b); }},
        {"C (downstream) as A's Input", [&] { a.SetInput(&c); }},
        {"B (downstream) as A's Input", [&] { a.SetInput(&b); }},
        {"A (upstream) as C's Output", [&] { c.SetOutput(&a); }},
        {"A (upstream) as B's Output", [&] { b.SetOutput(&a); }},
        {"a component without Output side as Input", [&] { a.SetInput(&sinkOnly); }},
        {"a component without Input side as Output", [&] { c.SetOutput(&sourceOnly); }},
    };
    for (const auto& tc : cases) {
        tc.link();
        EXPECT_EQ(Links({&a, &b, &c, &sinkOnly, &sourceOnly}), before) << tc.what;
    }
    EXPECT_FALSE(a.CanConnectInput(nullptr));
}

TEST(DSPLinks, AcceptsLinkFlagsStandInForThePublishedSide) {
    PassiveNode down("Down");
    PassiveNode noOutput("NoOutput", nullptr, true, false);
    EXPECT_FALSE(down.CanConnectInput(&noOutput));
    noOutput.AcceptsOutputLink = true;
    down.SetInput(&noOutput);
    ExpectLinked(noOutput, down);

    PassiveNode up("Up");
    PassiveNode noInput("NoInput", nullptr, false, true);
    EXPECT_FALSE(up.CanConnectOutput(&noInput));
    noInput.AcceptsInputLink = true;
    up.SetOutput(&noInput);
    ExpectLinked(up, noInput);
}

TEST(DSPLinks, ReleaseLinkClearsOnlyAMatchingLiveLink) {
    PassiveNode a("A"), b("B"), other("Other");
    b.SetInput(&a);
    b.ReleaseLink(&other, LinkSide::Input, "Output");  // another partner
    b.ReleaseLink(&a, LinkSide::Input, "Input");       // another name
    b.ReleaseLink(&a, LinkSide::Output, "Output");     // another side
    ExpectLinked(a, b);
    // A's property no longer refers to B: not this link any more, kept.
    a.SetOutputLink(nullptr, "");
    b.ReleaseLink(&a, LinkSide::Input, "Output");
    EXPECT_EQ(b.GetInput(), &a);
    // Partner, name and back-reference all match: released.
    a.SetOutputLink(&b, "Input");
    b.ReleaseLink(&a, LinkSide::Input, "Output");
    ExpectNoInput(b);
    EXPECT_EQ(a.GetOutput(), &b);  // the partner's side is its own business
    a.SetOutputLink(nullptr, "");
}

TEST(DSPLinks, LinkNamesAreCutToTwentyCharacters) {
    PassiveNode a("A"), b("B");
    a.SetInputLink(&b, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_EQ(a.InputLinkName(), "ABCDEFGHIJKLMNOPQRST");
    a.SetOutputLink(&b, "0123456789012345678901");
    EXPECT_EQ(a.OutputLinkName(), "01234567890123456789");
    a.SetInputLink(nullptr, "");
    a.SetOutputLink(nullptr, "");
}

TEST(DSPLinks, DestroyingAMemberClearsItsPartnersLinks) {
    PassiveNode a("A"), c("C");
    auto b = std::make_unique<PassiveNode>("B");
    b->SetInput(&a);
    c.SetInput(b.get());
    const auto format = MakePCMFormat(16, 2, 44100);
    a.SetWaveFormat(&format);
    ASSERT_NE(c.GetWaveFormat(), nullptr);

    const size_t live = TMMDSPComponent::LiveCount();
    const TMMDSPComponent* gone = b.get();
    b.reset();

    EXPECT_FALSE(TMMDSPComponent::IsLive(gone));
    EXPECT_EQ(TMMDSPComponent::LiveCount(), live - 1);
    ExpectNoOutput(a);
    ExpectNoInput(c);
    EXPECT_EQ(c.GetWaveFormat(), nullptr);  // nothing feeds C any more
    // Walking the chains now touches only live members (ASan would object).
    a.BufferReady(nullptr);
    bool more = true;
    c.BufferLoad(nullptr, more);
}

TEST(DSPLinks, DestroyingAMemberClearsOneSidedRawLinksToo) {
    PassiveNode a("A");
    auto b = std::make_unique<PassiveNode>("B");
    a.SetOutputLink(b.get(), "Input");  // B does not know
    a.SetInputLink(b.get(), "Output");
    b.reset();
    EXPECT_EQ(a.GetOutput(), nullptr);
    EXPECT_EQ(a.GetInput(), nullptr);
}

// ---- format flow ---------------------------------------------------------------

TEST(DSPFormat, HeadFormatGivesEveryMemberItsOwnCopy) {
    PassiveNode head("Head"), mid("Mid");
    auto tail = std::make_unique<PassiveNode>("Tail");
    mid.SetInput(&head);
    tail->SetInput(&mid);

    const auto format = MakePCMFormat(16, 2, 44100);
    head.SetWaveFormat(&format);

    WAVEFORMATEX* copies[] = {head.GetWaveFormat(), mid.GetWaveFormat(), tail->GetWaveFormat()};
    for (auto* copy : copies) {
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, &format);
        EXPECT_EQ(std::memcmp(copy, &format, sizeof format), 0);
    }
    EXPECT_NE(copies[0], copies[1]);
    EXPECT_NE(copies[1], copies[2]);
    EXPECT_NE(copies[0], copies[2]);

    // Freeing one member frees only its own copy.
    tail.reset();
    ASSERT_NE(head.GetWaveFormat(), nullptr);
    ASSERT_NE(mid.GetWaveFormat(), nullptr);
    EXPECT_EQ(head.GetWaveFormat()->nSamplesPerSec, 44100u);
    EXPECT_EQ(mid.GetWaveFormat()->nSamplesPerSec, 44100u);
    // Changing one copy in place does not show in another.
    mid.GetWaveFormat()->nSamplesPerSec = 8000;
    EXPECT_EQ(head.GetWaveFormat()->nSamplesPerSec, 44100u);
}

TEST(DSPFormat, LinkingSyncsAndUnlinkingClearsTheFormat) {
    const auto format = MakePCMFormat(8, 1, 11025);
    PassiveNode src("Src"), a("A"), b("B");
    src.SetWaveFormat(&format);

    a.SetInput(&src);  // takes the Input's format
    ASSERT_NE(a.GetWaveFormat(), nullptr);
    EXPECT_FALSE(WaveFormatsDiffer(a.GetWaveFormat(), &format));

    src.SetOutput(&b);  // B replaces A downstream of Src
    ASSERT_NE(b.GetWaveFormat(), nullptr);
    EXPECT_FALSE(WaveFormatsDiffer(b.GetWaveFormat(), &format));
    EXPECT_EQ(a.GetInput(), nullptr);

    b.SetInput(nullptr);
    EXPECT_EQ(b.GetWaveFormat(), nullptr);
    EXPECT_NE(src.GetWaveFormat(), nullptr);

    // A component without Input sends its own format down when linked.
    PassiveNode c("C");
    a.SetWaveFormat(&format);
    a.SetOutput(&c);
    EXPECT_FALSE(WaveFormatsDiffer(c.GetWaveFormat(), &format));
}

TEST(DSPFormat, NonPCMCodecBytesTravelWithTheCopy) {
    struct {
        WAVEFORMATEX head;
        uint8_t extra[4];
    } gsm{};
    gsm.head.wFormatTag = 0x31;
    gsm.head.nChannels = 1;
    gsm.head.nSamplesPerSec = 8000;
    gsm.head.nBlockAlign = 65;
    gsm.head.cbSize = 2;
    gsm.extra[0] = 0x40;
    gsm.extra[1] = 0x01;
    PassiveNode a("A"), b("B");
    b.SetInput(&a);
    a.SetWaveFormat(&gsm.head);
    const auto* copy = reinterpret_cast<const uint8_t*>(b.GetWaveFormat());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy[18], 0x40);
    EXPECT_EQ(copy[19], 0x01);
}

TEST(DSPFormat, LoadingHoldsTheFormatBackUntilLoaded) {
    const auto format = MakePCMFormat(16, 2, 44100);
    PassiveNode head("Head"), tail("Tail");
    head.BeginLoading();
    tail.SetInput(&head);
    head.SetWaveFormat(&format);
    EXPECT_TRUE(head.IsLoading());
    EXPECT_EQ(tail.GetWaveFormat(), nullptr);

    head.Loaded();
    EXPECT_FALSE(head.IsLoading());
    ASSERT_NE(tail.GetWaveFormat(), nullptr);
    EXPECT_FALSE(WaveFormatsDiffer(tail.GetWaveFormat(), &format));
}

TEST(DSPFormat, SettingTheHeldRecordAgainKeepsItAndResendsIt) {
    const auto format = MakePCMFormat(16, 1, 22050);
    PassiveNode head("Head"), tail("Tail");
    head.SetWaveFormat(&format);
    WAVEFORMATEX* held = head.GetWaveFormat();
    tail.SetInput(&head);
    tail.SetWaveFormat(nullptr);
    head.SetWaveFormat(held);
    EXPECT_EQ(head.GetWaveFormat(), held);
    EXPECT_NE(tail.GetWaveFormat(), nullptr);
}

// ---- buffer size and state -------------------------------------------------------

TEST(DSPState, OpenedFixesABlockAlignedBufferSize) {
    struct Case {
        int32_t requested;
        uint16_t bits, channels;  // 0 channels: no format
        int32_t expected;
    };
    const Case cases[] = {
        {2048, 16, 3, 2046},  // 6-byte block
        {4, 16, 3, 6},        // below one block: one block
        {4096, 16, 2, 4096},  // already aligned
        {1000, 0, 0, 1000},   // no format: as requested
    };
    for (const auto& tc : cases) {
        PassiveNode c("C");
        c.SetBufferSize(tc.requested);
        if (tc.channels) {
            const auto format = MakePCMFormat(tc.bits, tc.channels, 44100);
            c.SetWaveFormat(&format);
        }
        EXPECT_EQ(c.GetBufferSize(), tc.requested);
        c.Opened();
        EXPECT_EQ(c.GetBufferSize(), tc.expected) << tc.requested;
        EXPECT_EQ(c.RealBufferSize(), tc.expected);
        c.Closed();
        EXPECT_EQ(c.GetBufferSize(), tc.requested);
    }
}

TEST(DSPState, FlagsFollowTheNotifications) {
    PassiveNode c("C");
    EXPECT_EQ(c.GetBufferSize(), TMMDSPComponent::DefaultBufferSize);
    c.Started();  // not opened: ignored
    EXPECT_FALSE(c.IsStarted());
    c.Opened();
    c.Started();
    c.Paused();
    EXPECT_TRUE(c.IsOpened() && c.IsStarted() && c.IsPaused());
    c.Restarted();
    EXPECT_FALSE(c.IsPaused());
    c.Paused();
    c.Stopped();
    EXPECT_TRUE(c.IsOpened());
    EXPECT_FALSE(c.IsStarted() || c.IsPaused());
    c.Started();
    c.Opened();  // already opened: nothing changes
    EXPECT_TRUE(c.IsStarted());
    c.Closed();
    EXPECT_FALSE(c.IsOpened());
    c.Opened();  // reopening clears started and paused
    EXPECT_TRUE(c.IsOpened());
    EXPECT_FALSE(c.IsStarted() || c.IsPaused());
}

TEST(DSPState, ChangingLinkFormatOrSizeStopsAStartedComponent) {
    const auto format = MakePCMFormat(16, 2, 44100);
    const std::pair<const char*, std::function<void(PassiveNode&, PassiveNode&)>> changes[] = {
        {"buffer size", [](PassiveNode& c, PassiveNode&) { c.SetBufferSize(1024); }},
        {"format", [&](PassiveNode& c, PassiveNode&) { c.SetWaveFormat(&format); }},
        {"input", [](PassiveNode& c, PassiveNode& o) { c.SetInput(&o); }},
        {"output", [](PassiveNode& c, PassiveNode& o) { c.SetOutput(&o); }},
    };
    for (const auto& [what, change] : changes) {
        PassiveNode c("C"), other("Other");
        c.Opened();
        c.Started();
        change(c, other);
        EXPECT_FALSE(c.IsStarted()) << what;
        EXPECT_TRUE(c.IsOpened()) << what;
    }
    PassiveNode c("C");
    c.Opened();
    c.Started();
    c.SetBufferSize(c.GetBufferSize());  // same size: no change, keeps running
    EXPECT_TRUE(c.IsStarted());
}

// ---- data -----------------------------------------------------------------------

TEST(DSPData, PushRunsDownstreamAndPullUpstreamWithTheSameRecord) {
    PassiveNode a("A"), b("B"), c("C");
    b.SetInput(&a);
    c.SetInput(&b);
    TStreamBufferHeader record{};
    std::vector<std::string> seen;
    for (PassiveNode* n : {&a, &b, &c}) {
        n->OnBufferReady = [&](TMMDSPComponent* sender, PWaveHdr buffer) {
            EXPECT_EQ(buffer, &record);
            seen.push_back("ready:" + sender->Name());
        };
        n->OnBufferLoad = [&](TMMDSPComponent* sender, PWaveHdr buffer, bool& more) {
            EXPECT_EQ(buffer, &record);
            seen.push_back("load:" + sender->Name());
            if (sender == &a) {
                buffer->wh.dwBytesRecorded = 100;
                more = false;
            }
        };
    }
    a.BufferReady(&record);
    bool more = true;
    c.BufferLoad(&record, more);
    EXPECT_EQ(seen, (std::vector<std::string>{"ready:A", "ready:B", "ready:C", "load:C", "load:B",
                                              "load:A"}));
    EXPECT_EQ(record.wh.dwBytesRecorded, 100u);
    EXPECT_FALSE(more);
}

TEST(DSPData, PullReachingAComponentWithoutInputReturnsTheRecordUnchanged) {
    PassiveNode head("Head"), tail("Tail");
    tail.SetInput(&head);
    for (bool preset : {true, false}) {
        char data[64] = {};
        TStreamBufferHeader record{};
        record.wh.lpData = data;
        record.wh.dwBufferLength = sizeof data;
        record.wh.dwBytesRecorded = 0;
        const TStreamBufferHeader before = record;
        bool more = preset;
        tail.BufferLoad(&record, more);
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
        EXPECT_EQ(record.wh.dwBytesRecorded, 0u);
        EXPECT_EQ(more, preset);
    }
}

}  // namespace
}  // namespace zt
