// Frame animations driven by a window timer.
//
// A CHImageAnimationSet holds numbered animations (CHImageAnimation: a list of
// frame images, not owned), one list of frame durations shared by all of them
// (m_delays, ms), a position in time, and the client windows it repaints on
// every step. The owner window receives WM_TIMER with id kTimerId (21) and calls
// Step(); the clients ask GetImage(id) what to show when they paint.
//
// Two modes:
//   m_nFixedPeriod 0: one timer tick per frame, lasting that frame's delay.
//   m_nFixedPeriod n: ticks of n ms; between two frames GetImage gives a
//     cross-fade, (1 - w) * current + w * next per byte with the weight
//     w = m_pfnProgress(time in frame, frame delay, set), elapsed / delay by
//     default. The blend is computed once per time stamp (position within the
//     cycle) and kept in the animation, so that repeated paints between ticks
//     reuse it. Frames of different sizes are not blended: the current one shows.
// Frame j of an animation is its list entry j modulo the list's length, so a
// two-frame animation with one delay fades from the first to the second frame.
//
// Sets that cannot run are refused: Start throws 1010 ("Invalid function
// parameter.") when there is no delay, a delay or the fixed period is negative,
// the delays add up to 0 (or beyond INT_MAX), or the start time is negative.
// An animation without frames is legal but gives no image (GetImage returns
// null), like an unknown id or a stopped set.
//
// Seeking (Start(t)) wraps t into one cycle first, so it costs one pass over the
// delays however large t is; a time exactly at a frame's end stays in that frame.
// In fixed-period mode a tick longer than the current frame moves on by as many
// frames as it covers (within the cycle), so the weight never exceeds 1; it is
// also clamped to [0, 1] whatever the progress function answers.
//
// A set without an owner window arms no timer: its caller steps it. Everything
// runs on the thread that owns the owner and client windows.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "RAde/DEVEDar/HImage.h"

// One animation of a set: its frames and the last cross-fade computed for it.
struct CHImageAnimation
{
    // Frame j modulo the number of frames; null when there are no frames.
    const CHImage* GetFrame(int nIndex) const noexcept;

    std::vector<const CHImage*> m_frames;
    CHImage m_blend;
    int m_nBlendStamp = -1;
};

class CHImageAnimationSet
{
public:
    // Weight of the next frame in a cross-fade, from the time spent in the
    // current frame and that frame's delay (both ms).
    using ProgressFn = float (*)(int nElapsed, int nDelay, const CHImageAnimationSet& set);
    static constexpr UINT_PTR kTimerId = 21;

    CHImageAnimationSet() noexcept = default;
    // Stops the set (kills the timer, repaints the clients); frames are not owned.
    ~CHImageAnimationSet();
    CHImageAnimationSet(const CHImageAnimationSet&) = delete;
    CHImageAnimationSet& operator=(const CHImageAnimationSet&) = delete;

    // elapsed / delay in single precision (1 for a zero delay).
    static float DefaultProgress(int nElapsed, int nDelay, const CHImageAnimationSet& set) noexcept;

    // Appends an empty animation with this id; the reference stays valid until Clear.
    CHImageAnimation& CreateAnim(int nId);
    // The first animation with this id, or null.
    CHImageAnimation* GetAnim(int nId) noexcept;

    // Starts a stopped set at time nTime (ms, wrapped into one cycle) and arms
    // the timer; a running set is left as it is. Throws 1010 for a set that
    // cannot run (see above).
    void Start(int nTime = 0);
    // Kills the timer; a running set repaints its clients. Rewinds in any case.
    void Stop();
    // One timer tick: advance, count cycles, stop after m_nMaxCycles, else
    // repaint the clients and arm the timer again. Does nothing when stopped.
    void Step();
    // What animation nId shows now; null when stopped, for an unknown id or an
    // animation without frames.
    const CHImage* GetImage(int nId);
    // Stops, then forgets the animations, delays and clients. The owner, the
    // fixed period, the erase flag, the maximum of cycles and the progress
    // function stay.
    void Clear();

    // The window whose timer drives the set. Changing it moves a pending timer.
    void SetOwner(HWND hWndOwner);
    HWND GetOwner() const noexcept { return m_hWndOwner; }
    // Clients are repainted on every step; each window is listed once.
    void AddClient(HWND hWnd);
    void RemoveClient(HWND hWnd) noexcept;

    bool IsRunning() const noexcept { return m_bRunning; }
    int GetFrameIndex() const noexcept { return m_nFrame; }
    int GetOffset() const noexcept { return m_nOffset; }
    int GetCycles() const noexcept { return m_nCycles; }
    UINT_PTR GetTimerId() const noexcept { return m_nTimerId; }
    // The sum of all delays.
    int GetTotalLength() const noexcept;
    // The sum of the delays before the current frame plus the time spent in it.
    int GetElapsed() const noexcept;

    std::vector<HWND> m_clients;
    int m_nFixedPeriod = 0;
    bool m_bErase = false;
    int m_nMaxCycles = 0;
    ProgressFn m_pfnProgress = &DefaultProgress;
    std::vector<int> m_delays;

private:
    void CheckCanRun(int nTime) const;
    void Rewind() noexcept;
    void Seek(int nTime) noexcept;
    void ArmTimer();
    void KillTimer() noexcept;
    void RepaintClients() const noexcept;
    void AdvanceFixedPeriod() noexcept;
    void AdvanceFrame() noexcept;
    int StartOfFrame(int nFrame) const noexcept;

    HWND m_hWndOwner = nullptr;
    // Animations are held by pointer so that references handed out by
    // CreateAnim survive later additions.
    std::vector<std::unique_ptr<CHImageAnimation>> m_anims;
    std::vector<int> m_ids;
    UINT_PTR m_nTimerId = 0;
    // The window the pending timer was set on (the owner at that time).
    HWND m_hWndTimer = nullptr;
    int m_nFrame = 0;
    int m_nOffset = 0;
    int m_nFrameStart = 0;
    bool m_bRunning = false;
    int m_nCycles = 0;
};
