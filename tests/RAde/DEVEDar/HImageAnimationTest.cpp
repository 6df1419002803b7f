#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "AnimationTestSupport.h"
#include "RAde/DEVEDar/HImageAnimation.h"
#include "RAde/DEVEDar/HWindowImpl.h"
#include "TestSupport.h"

using namespace AnimationTest;

namespace {
// A hidden window that drives a set on timer 21 and records every tick: the
// frame index, the cycle count and the image the set gives afterwards.
class CTimerOwner : public CHWindowImpl
{
public:
    struct CTick
    {
        int nFrame;
        int nCycles;
        const CHImage* pImage;
        ULONGLONG nTime;
    };

    explicit CTimerOwner(CHImageAnimationSet& set) : m_set(set)
    {
        RECT rc{0, 0, 10, 10};
        Create(nullptr, &rc, L"timer owner", WS_POPUP, WS_EX_TOOLWINDOW);
    }

    BOOL ProcessWindowMessage(HWND, UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult) override
    {
        if (uMsg != WM_TIMER)
            return FALSE;
        if (wParam == CHImageAnimationSet::kTimerId) {
            m_set.Step();
            m_ticks.push_back({m_set.GetFrameIndex(), m_set.GetCycles(), m_set.GetImage(0), ::GetTickCount64()});
        }
        lResult = 0;
        return TRUE;
    }

    CHImageAnimationSet& m_set;
    std::vector<CTick> m_ticks;
};

// A visible window that records which image of the set it finds when it paints.
class CPaintRecorder : public CHWindowImpl
{
public:
    explicit CPaintRecorder(CHImageAnimationSet& set) : m_set(set)
    {
        RECT rc{300, 10, 340, 50};
        Create(nullptr, &rc, L"client", WS_POPUP, WS_EX_TOOLWINDOW);
        // Shown without activation: activating a window under Xvfb without a
        // window manager makes Wine wait for a focus change that never comes.
        ::ShowWindow(m_hWnd, SW_SHOWNA);
    }

    BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM, LPARAM, LRESULT& lResult) override
    {
        if (uMsg != WM_PAINT)
            return FALSE;
        PAINTSTRUCT ps;
        ::BeginPaint(hWnd, &ps);
        if (const CHImage* pImage = m_set.GetImage(0))
            m_seen.push_back(pImage);
        ::EndPaint(hWnd, &ps);
        lResult = 0;
        return TRUE;
    }

    bool HasSeen(const CHImage* pImage) const
    {
        for (const CHImage* pSeen : m_seen)
            if (pSeen == pImage)
                return true;
        return false;
    }

    CHImageAnimationSet& m_set;
    std::vector<const CHImage*> m_seen;
};

// Eight frames of distinct colours, one animation (id 0) over them.
class CEightFrames
{
public:
    explicit CEightFrames(CHImageAnimationSet& set, int nDelay)
    {
        CHImageAnimation& anim = set.CreateAnim(0);
        for (int i = 0; i < 8; ++i) {
            m_frames[i] = SolidImage(4, 4, Bgra(static_cast<BYTE>(i * 30), 0, 0, 255));
            anim.m_frames.push_back(&m_frames[i]);
            set.m_delays.push_back(nDelay);
        }
    }
    CHImage m_frames[8];
};

// The two frames of the cross-fade tests: blends of them have exact values
// at weights 0.25, 0.5 and 0.75.
constexpr DWORD kFirst = Bgra(40, 0, 200, 255);
constexpr DWORD kSecond = Bgra(200, 100, 40, 255);

class CCrossFade
{
public:
    CCrossFade(CHImageAnimationSet& set, std::vector<int> delays)
        : m_first(SolidImage(4, 4, kFirst)), m_second(SolidImage(4, 4, kSecond))
    {
        set.m_nFixedPeriod = 50;
        set.m_delays = std::move(delays);
        CHImageAnimation& anim = set.CreateAnim(0);
        anim.m_frames = {&m_first, &m_second};
    }
    CHImage m_first;
    CHImage m_second;
};

DWORD ImagePixel(const CHImage* pImage)
{
    return pImage != nullptr ? PixelAt(*pImage, 1, 1) : 0;
}

int g_nProgressCalls = 0;
float CountingProgress(int nElapsed, int nDelay, const CHImageAnimationSet& set)
{
    ++g_nProgressCalls;
    return CHImageAnimationSet::DefaultProgress(nElapsed, nDelay, set);
}
float OvershootingProgress(int, int, const CHImageAnimationSet&)
{
    return 2.0f;
}
}  // namespace

TEST(CHImageAnimationSet, EightFramesStepThroughTheirFramesOnTimerMessagesAndCountACycle)
{
    CHImageAnimationSet set;
    CEightFrames frames(set, 25);
    CTimerOwner owner(set);
    CPaintRecorder client(set);
    set.SetOwner(owner);
    set.AddClient(client);

    const ULONGLONG nStart = ::GetTickCount64();
    set.Start();
    EXPECT_EQ(set.GetTimerId(), CHImageAnimationSet::kTimerId);
    EXPECT_EQ(set.GetImage(0), &frames.m_frames[0]);
    // Paints are low-priority messages: wait until the client has painted
    // every frame (it sees them again in later cycles if it missed one).
    ASSERT_TRUE(PumpMessagesUntil(
        [&] {
            if (owner.m_ticks.size() < 8)
                return false;
            for (const CHImage& frame : frames.m_frames)
                if (!client.HasSeen(&frame))
                    return false;
            return true;
        },
        10000));

    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const CTimerOwner::CTick& tick = owner.m_ticks[i];
        EXPECT_EQ(tick.nFrame, (i + 1) % 8);
        EXPECT_EQ(tick.pImage, &frames.m_frames[(i + 1) % 8]);
        // The cycle completes on the tick that goes back to frame 0.
        EXPECT_EQ(tick.nCycles, i == 7 ? 1 : 0);
    }
    // Eight ticks of at least (nearly) 25 ms each: the timer is re-armed per
    // frame, not fired in a loop.
    EXPECT_GE(owner.m_ticks[7].nTime - nStart, 7u * 25u);

    set.Stop();
    EXPECT_EQ(set.GetTimerId(), 0u);
    EXPECT_EQ(set.GetImage(0), nullptr);
}

TEST(CHImageAnimationSet, StopsByItselfAfterTheMaximumOfCycles)
{
    CHImageAnimationSet set;
    CEightFrames frames(set, 10);
    CTimerOwner owner(set);
    set.SetOwner(owner);
    set.m_nMaxCycles = 2;

    set.Start();
    ASSERT_TRUE(PumpMessagesUntil([&] { return !set.IsRunning(); }));
    ASSERT_EQ(owner.m_ticks.size(), 16u);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(owner.m_ticks[i].nFrame, (i + 1) % 8) << i;
    EXPECT_EQ(owner.m_ticks[7].nCycles, 1);
    // The sixteenth tick completes the second cycle and stops the set.
    EXPECT_EQ(owner.m_ticks[15].pImage, nullptr);
    EXPECT_EQ(set.GetTimerId(), 0u);

    PumpMessagesFor(100);
    EXPECT_EQ(owner.m_ticks.size(), 16u) << "the timer still fires";
}

TEST(CHImageAnimationSet, ChangingTheOwnerMovesThePendingTimer)
{
    CHImageAnimationSet set;
    CEightFrames frames(set, 10);
    CTimerOwner first(set);
    CTimerOwner second(set);
    set.SetOwner(first);
    set.Start();
    set.SetOwner(second);
    ASSERT_TRUE(PumpMessagesUntil([&] { return second.m_ticks.size() >= 3; }));
    EXPECT_TRUE(first.m_ticks.empty());
    set.Stop();
}

TEST(CHImageAnimationSet, FixedPeriodCrossFadesWithTheElapsedWeightAndCountsTheCycleOnTheFourthTick)
{
    CHImageAnimationSet set;
    CCrossFade fade(set, {200});
    set.Start();
    EXPECT_EQ(set.GetImage(0), &fade.m_first);

    const DWORD expected[3] = {Bgra(80, 25, 160, 255), Bgra(120, 50, 120, 255), Bgra(160, 75, 80, 255)};
    for (int nTick = 1; nTick <= 3; ++nTick) {
        SCOPED_TRACE(nTick);
        set.Step();
        EXPECT_EQ(set.GetElapsed(), 50 * nTick);
        const CHImage* pImage = set.GetImage(0);
        ASSERT_NE(pImage, nullptr);
        EXPECT_NE(pImage, &fade.m_first);
        EXPECT_EQ(PixelAt(*pImage, 0, 0), expected[nTick - 1]);
        EXPECT_EQ(PixelAt(*pImage, 3, 3), expected[nTick - 1]);
        EXPECT_EQ(set.GetCycles(), 0);
    }
    set.Step();
    EXPECT_EQ(set.GetCycles(), 1);
    EXPECT_EQ(set.GetOffset(), 0);
    EXPECT_EQ(set.GetImage(0), &fade.m_first);
    EXPECT_TRUE(set.IsRunning());
}

TEST(CHImageAnimationSet, BlendIsComputedOncePerTimeStamp)
{
    CHImageAnimationSet set;
    CCrossFade fade(set, {200});
    set.m_pfnProgress = &CountingProgress;
    g_nProgressCalls = 0;
    set.Start();
    set.Step();
    const CHImage* pFirstPaint = set.GetImage(0);
    const CHImage* pSecondPaint = set.GetImage(0);
    EXPECT_EQ(g_nProgressCalls, 1);
    EXPECT_EQ(pFirstPaint, pSecondPaint);
    EXPECT_EQ(ImagePixel(pSecondPaint), Bgra(80, 25, 160, 255));

    set.Step();
    EXPECT_EQ(ImagePixel(set.GetImage(0)), Bgra(120, 50, 120, 255));
    EXPECT_EQ(g_nProgressCalls, 2);
}

TEST(CHImageAnimationSet, WeightStaysWithinTheTwoFrames)
{
    // A progress function answering more than 1 shows the next frame, not an
    // overflow of it.
    CHImageAnimationSet set;
    CCrossFade fade(set, {200});
    set.m_pfnProgress = &OvershootingProgress;
    set.Start();
    set.Step();
    EXPECT_EQ(ImagePixel(set.GetImage(0)), kSecond);

    // A tick longer than a frame moves on by the frames it covers.
    CHImageAnimationSet shortFrames;
    CCrossFade threeFrames(shortFrames, {30, 30, 30});
    shortFrames.Start();
    shortFrames.Step();
    EXPECT_EQ(shortFrames.GetFrameIndex(), 1);
    EXPECT_EQ(shortFrames.GetOffset(), 20);
    // 100 ms run past the 90 ms cycle: the cycle ends and the set rewinds.
    shortFrames.Step();
    EXPECT_EQ(shortFrames.GetCycles(), 1);
    EXPECT_EQ(shortFrames.GetFrameIndex(), 0);
    EXPECT_EQ(shortFrames.GetOffset(), 0);
}

TEST(CHImageAnimationSet, StartBeyondTheTotalLengthLandsWhereTheTimeFallsAfterStartingOver)
{
    CHImageAnimationSet set;
    CEightFrames frames(set, 100);
    ASSERT_EQ(set.GetTotalLength(), 800);

    set.Start(2 * 800 + 350);
    EXPECT_EQ(set.GetFrameIndex(), 3);
    EXPECT_EQ(set.GetOffset(), 50);
    EXPECT_EQ(set.GetCycles(), 0);
    EXPECT_EQ(set.GetImage(0), &frames.m_frames[3]);
    set.Stop();

    // A time exactly at a frame's end stays in that frame.
    set.Start(800);
    EXPECT_EQ(set.GetFrameIndex(), 7);
    EXPECT_EQ(set.GetOffset(), 100);
    set.Stop();
    set.Start(1600 + 100);
    EXPECT_EQ(set.GetFrameIndex(), 0);
    EXPECT_EQ(set.GetOffset(), 100);
    set.Stop();

    // However far: one pass over the delays, not one per cycle.
    CHImageAnimationSet tiny;
    tiny.CreateAnim(0);
    tiny.m_delays = {1, 1, 1};
    tiny.Start(INT_MAX);
    EXPECT_EQ(tiny.GetFrameIndex(), 0);
    EXPECT_EQ(tiny.GetOffset(), 1);
}

TEST(CHImageAnimationSet, SeekingIntoACrossFadeBlendsTheFramesAtThatTime)
{
    CHImageAnimationSet set;
    CCrossFade fade(set, {100, 100});
    set.Start(25);
    EXPECT_EQ(ImagePixel(set.GetImage(0)), Bgra(80, 25, 160, 255));  // 0.75 first + 0.25 second
    set.Stop();
    // The same offset in the other frame is another time stamp: the blend of
    // the first start must not be reused.
    set.Start(125);
    EXPECT_EQ(set.GetFrameIndex(), 1);
    EXPECT_EQ(ImagePixel(set.GetImage(0)), Bgra(160, 75, 80, 255));  // 0.75 second + 0.25 first
    set.Stop();
    set.Start(2 * 200 + 50);
    EXPECT_EQ(ImagePixel(set.GetImage(0)), Bgra(120, 50, 120, 255));
}

TEST(CHImageAnimationSet, StartOnARunningSetChangesNothing)
{
    CHImageAnimationSet set;
    CEightFrames frames(set, 100);
    CTimerOwner owner(set);
    set.SetOwner(owner);
    set.Start();
    set.Step();
    set.Step();
    set.Start(450);
    EXPECT_EQ(set.GetFrameIndex(), 2);
    EXPECT_EQ(set.GetOffset(), 0);
    EXPECT_EQ(set.GetTimerId(), CHImageAnimationSet::kTimerId);
    set.Stop();
}

TEST(CHImageAnimationSet, RepaintsItsClientsOnStepsAndOnStoppingARunningSetOnly)
{
    CHImageAnimationSet set;
    CEightFrames frames(set, 100);
    CPaintRecorder client(set);
    set.AddClient(client);
    set.AddClient(client);
    EXPECT_EQ(set.m_clients.size(), 1u);
    auto isInvalid = [&] { return ::GetUpdateRect(client, nullptr, FALSE) != FALSE; };

    ::ValidateRect(client, nullptr);
    set.Stop();
    EXPECT_FALSE(isInvalid()) << "a stopped set repainted on Stop";
    set.Start();
    ::ValidateRect(client, nullptr);
    set.Step();
    EXPECT_TRUE(isInvalid());
    ::ValidateRect(client, nullptr);
    set.Stop();
    EXPECT_TRUE(isInvalid());

    // A tick that arrives after Stop changes nothing.
    ::ValidateRect(client, nullptr);
    set.Step();
    EXPECT_FALSE(isInvalid());
    EXPECT_FALSE(set.IsRunning());
    EXPECT_EQ(set.GetFrameIndex(), 0);
}

TEST(CHImageAnimationSet, SetsThatCannotRunAreRefusedByStart)
{
    struct CCase
    {
        const char* pszName;
        std::vector<int> delays;
        int nFixedPeriod;
        int nTime;
    };
    const CCase cases[] = {
        {"no delays", {}, 0, 0},
        {"no delays, seeking", {}, 0, 500},
        {"all delays zero", {0, 0, 0}, 0, 100},
        {"all delays zero, fixed period", {0, 0}, 50, 0},
        {"a negative delay", {-100, 200}, 0, 0},
        {"a negative fixed period", {100}, -50, 0},
        {"a negative time", {100}, 0, -1},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CHImageAnimationSet set;
        CHImage frame = SolidImage(2, 2, kFirst);
        set.CreateAnim(0).m_frames = {&frame};
        set.m_delays = c.delays;
        set.m_nFixedPeriod = c.nFixedPeriod;
        CHException e = CatchThrown([&] { set.Start(c.nTime); });
        ASSERT_FALSE(ErrorCodesOf(e).empty());
        EXPECT_EQ(ErrorCodesOf(e).front(), 1010);
        EXPECT_FALSE(set.IsRunning());
        EXPECT_EQ(set.GetImage(0), nullptr);
        set.Step();
        EXPECT_FALSE(set.IsRunning());
    }
}

TEST(CHImageAnimationSet, AnimationsWithoutFramesOrUnknownIdsGiveNoImage)
{
    CHImageAnimationSet set;
    CCrossFade fade(set, {100, 100});
    set.CreateAnim(5);  // no frames
    CHImage big = SolidImage(8, 8, kSecond);
    set.CreateAnim(6).m_frames = {&fade.m_first, &big};

    EXPECT_EQ(set.GetImage(0), nullptr) << "a stopped set gives an image";
    set.Start();
    EXPECT_EQ(set.GetImage(0), &fade.m_first);
    EXPECT_EQ(set.GetImage(5), nullptr);
    EXPECT_EQ(set.GetImage(7), nullptr);
    set.Step();
    EXPECT_EQ(set.GetImage(5), nullptr);
    // Frames of different sizes are not blended: the current one shows.
    EXPECT_EQ(set.GetImage(6), &fade.m_first);
    EXPECT_NE(set.GetImage(0), &fade.m_first);
}

TEST(CHImageAnimationSet, ClearForgetsAnimationsDelaysAndClientsButKeepsTheSettings)
{
    CHImageAnimationSet set;
    CCrossFade fade(set, {100});
    CTimerOwner owner(set);
    set.SetOwner(owner);
    set.AddClient(owner);
    set.m_bErase = true;
    set.m_nMaxCycles = 3;
    set.m_pfnProgress = &CountingProgress;
    CHImageAnimation& anim = set.CreateAnim(1);
    set.CreateAnim(2);
    EXPECT_EQ(set.GetAnim(1), &anim) << "a later animation moved an earlier one";
    set.Start();

    set.Clear();
    EXPECT_FALSE(set.IsRunning());
    EXPECT_EQ(set.GetTimerId(), 0u);
    EXPECT_EQ(set.GetAnim(0), nullptr);
    EXPECT_TRUE(set.m_delays.empty());
    EXPECT_TRUE(set.m_clients.empty());
    EXPECT_EQ(set.GetOwner(), static_cast<HWND>(owner));
    EXPECT_EQ(set.m_nFixedPeriod, 50);
    EXPECT_TRUE(set.m_bErase);
    EXPECT_EQ(set.m_nMaxCycles, 3);
    EXPECT_EQ(set.m_pfnProgress, &CountingProgress);
    EXPECT_THROW(set.Start(), CHException);
}
