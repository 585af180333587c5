// How a driver's notifications reach the members of its chain segment.
#include <gtest/gtest.h>

#include "audio/chain/ChainTestComponents.h"

namespace zt {
namespace {

using test::NoteLog;
using test::PassiveNode;
using test::TestDriver;

// Head -> S1 -> Mid -> S2 -> Tail: two drivers, each with passive members.
struct TwoDriverChain : ::testing::Test {
    NoteLog log;
    PassiveNode head{"Head", &log}, mid{"Mid", &log}, tail{"Tail", &log};
    TestDriver s1{"S1", &log}, s2{"S2", &log};

    void SetUp() override {
        s1.SetInput(&head);
        mid.SetInput(&s1);
        s2.SetInput(&mid);
        tail.SetInput(&s2);
        const auto format = MakePCMFormat(16, 3, 44100);  // 6-byte block
        head.SetWaveFormat(&format);
        log.clear();
    }

    NoteLog Expected(const std::string& note, std::initializer_list<const char*> order) {
        NoteLog out;
        for (const char* name : order) out.push_back(std::string(name) + ":" + note);
        return out;
    }
};

TEST_F(TwoDriverChain, SegmentStartsAndNextDrivers) {
    EXPECT_EQ(s1.SegmentStart(), &head);  // passive head upstream
    EXPECT_EQ(s2.SegmentStart(), &s2);    // a driver upstream: starts at itself
    EXPECT_EQ(s1.NextSoundComponent(), &s2);
    EXPECT_EQ(s2.NextSoundComponent(), nullptr);
}

TEST_F(TwoDriverChain, OpenedReachesTheSegmentThenTheNextDriverWithTheBufferSize) {
    s1.SetBufferSize(4096);
    s1.Opened();
    EXPECT_EQ(log, Expected("Opened", {"Head", "Mid", "Tail", "S2", "S1"}));
    // Every member was told S1's size before it opened, and aligned it to
    // the 6-byte block.
    EXPECT_EQ(head.sizesReceived, std::vector<int32_t>{4096});
    EXPECT_EQ(mid.sizesReceived, std::vector<int32_t>{4096});
    EXPECT_EQ(tail.sizesReceived, std::vector<int32_t>{4096});  // from S2
    for (TMMDSPComponent* c :
         std::initializer_list<TMMDSPComponent*>{&head, &s1, &mid, &s2, &tail}) {
        EXPECT_TRUE(c->IsOpened()) << c->Name();
        EXPECT_EQ(c->GetBufferSize(), 4092) << c->Name();
    }
}

TEST_F(TwoDriverChain, ForwardNotificationsTakeTheOpenedWalk) {
    s1.Opened();
    for (const char* note : {"Started", "Paused", "Restarted", "Reset"}) {
        log.clear();
        const std::string n = note;
        if (n == "Started") s1.Started();
        if (n == "Paused") s1.Paused();
        if (n == "Restarted") s1.Restarted();
        if (n == "Reset") s1.Reset();
        EXPECT_EQ(log, Expected(n, {"Head", "Mid", "Tail", "S2", "S1"})) << n;
    }
    EXPECT_TRUE(tail.IsStarted());
    EXPECT_FALSE(tail.IsPaused());
}

TEST_F(TwoDriverChain, ClosedAndStoppedReachTheNextDriverFirst) {
    s1.Opened();
    s1.Started();
    log.clear();
    s1.Stopped();
    EXPECT_EQ(log, Expected("Stopped", {"Tail", "S2", "Head", "Mid", "S1"}));
    for (TMMDSPComponent* c : std::initializer_list<TMMDSPComponent*>{&head, &s1, &mid, &s2, &tail})
        EXPECT_FALSE(c->IsStarted()) << c->Name();

    log.clear();
    s1.Closed();
    EXPECT_EQ(log, Expected("Closed", {"Tail", "S2", "Head", "Mid", "S1"}));
    for (TMMDSPComponent* c : std::initializer_list<TMMDSPComponent*>{&head, &s1, &mid, &s2, &tail})
        EXPECT_FALSE(c->IsOpened()) << c->Name();
}

TEST_F(TwoDriverChain, TheSecondDriverServesOnlyItsOwnSegment) {
    s2.SetBufferSize(1000);
    s2.Opened();
    EXPECT_EQ(log, Expected("Opened", {"Tail", "S2"}));
    EXPECT_FALSE(mid.IsOpened());
    EXPECT_EQ(tail.sizesReceived, std::vector<int32_t>{1000});
    log.clear();
    s2.Closed();
    EXPECT_EQ(log, Expected("Closed", {"Tail", "S2"}));
}

TEST(SegmentDispatch, ALoneDriverAndADriverAtTheHead) {
    NoteLog log;
    TestDriver alone("Alone", &log);
    alone.Opened();
    alone.Closed();
    EXPECT_EQ(log, (NoteLog{"Alone:Opened", "Alone:Closed"}));

    // Capture shape: the driver heads the chain.
    log.clear();
    TestDriver wave("Wave", &log);
    PassiveNode conn("Conn", &log), enc("Enc", &log);
    conn.SetInput(&wave);
    enc.SetInput(&conn);
    wave.SetBufferSize(4096);
    log.clear();
    wave.Opened();
    EXPECT_EQ(log, (NoteLog{"Conn:Opened", "Enc:Opened", "Wave:Opened"}));
    EXPECT_EQ(conn.sizesReceived, std::vector<int32_t>{4096});
    EXPECT_EQ(enc.sizesReceived, std::vector<int32_t>{4096});
    log.clear();
    wave.Stopped();
    EXPECT_EQ(log, (NoteLog{"Conn:Stopped", "Enc:Stopped", "Wave:Stopped"}));
}

TEST(SegmentDispatch, AccessorsAndBufferPoolOfADriver) {
    TestDriver d("D");
    EXPECT_TRUE(d.IsSoundComponent());
    d.SetCallBackMode(TMMCBMode::cmThread);
    EXPECT_EQ(d.GetCallBackMode(), TMMCBMode::cmThread);
    void* block = d.Allocator().AllocBuffer(64);
    EXPECT_NE(block, nullptr);
    EXPECT_EQ(d.Allocator().BlocksInUse(), 1u);
    // Freed with the driver (LeakSanitizer would report it otherwise).
}

TEST(SegmentDispatch, ACycleMadeWithRawLinksDoesNotHangAWalk) {
    NoteLog log;
    TestDriver s("S", &log);
    PassiveNode a("A", &log);
    s.SetOutputLink(&a, "Input");
    a.SetInputLink(&s, "Output");
    a.SetOutputLink(&s, "Input");
    s.SetInputLink(&a, "Output");
    s.Opened();
    EXPECT_EQ(log, (NoteLog{"A:Opened", "S:Opened"}));
    s.SetOutputLink(nullptr, "");
    s.SetInputLink(nullptr, "");
    a.SetOutputLink(nullptr, "");
    a.SetInputLink(nullptr, "");
}

}  // namespace
}  // namespace zt
