#include "RAde/DEVEDar/HImageAnimation.h"

#include <algorithm>
#include <climits>

#include "RAde/DEVEDar/HImageProcessor.h"
#include "RAde/HException.h"

namespace {
// A cross-fade needs two images of the same shape.
bool CanBlend(const CHImage* pCurrent, const CHImage* pNext) noexcept
{
    return pCurrent != nullptr && pNext != nullptr && !pCurrent->IsNull() && !pNext->IsNull() &&
           pCurrent->GetWidth() == pNext->GetWidth() && pCurrent->GetHeight() == pNext->GetHeight() &&
           pCurrent->GetBPP() == pNext->GetBPP();
}

float ClampWeight(float fWeight) noexcept
{
    if (!(fWeight >= 0.0f))  // also a NaN
        return 0.0f;
    return fWeight > 1.0f ? 1.0f : fWeight;
}
}  // namespace

const CHImage* CHImageAnimation::GetFrame(int nIndex) const noexcept
{
    if (m_frames.empty() || nIndex < 0)
        return nullptr;
    return m_frames[static_cast<size_t>(nIndex) % m_frames.size()];
}

CHImageAnimationSet::~CHImageAnimationSet()
{
    HTRY {
        Stop();
    } HCATCH_LOG
}

float CHImageAnimationSet::DefaultProgress(int nElapsed, int nDelay, const CHImageAnimationSet&) noexcept
{
    if (nDelay <= 0)
        return 1.0f;
    return static_cast<float>(nElapsed) / static_cast<float>(nDelay);
}

CHImageAnimation& CHImageAnimationSet::CreateAnim(int nId)
{
    HTRY {
        m_anims.push_back(std::make_unique<CHImageAnimation>());
        m_ids.push_back(nId);
        return *m_anims.back();
    } HCATCH
}

CHImageAnimation* CHImageAnimationSet::GetAnim(int nId) noexcept
{
    for (size_t i = 0; i < m_ids.size() && i < m_anims.size(); ++i)
        if (m_ids[i] == nId)
            return m_anims[i].get();
    return nullptr;
}

void CHImageAnimationSet::CheckCanRun(int nTime) const
{
    long long nTotal = 0;
    bool bNegative = m_nFixedPeriod < 0 || nTime < 0;
    for (int nDelay : m_delays) {
        bNegative = bNegative || nDelay < 0;
        nTotal += nDelay;
    }
    // Without a positive cycle length, seeking would never end and the
    // cross-fade would divide by zero.
    if (bNegative || nTotal <= 0 || nTotal > INT_MAX)
        throw CHException(HError::InvalidParameter, HSITE)
            .AddValue(L"Delays", static_cast<int>(m_delays.size()), false)
            .AddValue(L"TotalLength", static_cast<int>(std::min<long long>(nTotal, INT_MAX)), false)
            .AddValue(L"FixedPeriod", m_nFixedPeriod, false)
            .AddValue(L"t", nTime, false);
}

void CHImageAnimationSet::Rewind() noexcept
{
    m_nFrame = 0;
    m_nCycles = 0;
    m_nOffset = 0;
    m_nFrameStart = 0;
}

void CHImageAnimationSet::Seek(int nTime) noexcept
{
    // Starting over at frame 0 as often as needed is the same as wrapping the
    // time into (0, total]: a time at the end of a cycle stays in its last frame.
    const int nTotal = GetTotalLength();
    int nInCycle = nTime % nTotal;
    if (nInCycle == 0)
        nInCycle = nTotal;
    int nStart = 0;
    for (size_t i = 0; i < m_delays.size(); ++i) {
        if (nStart + m_delays[i] >= nInCycle) {
            m_nFrame = static_cast<int>(i);
            m_nFrameStart = nStart;
            m_nOffset = nInCycle - nStart;
            return;
        }
        nStart += m_delays[i];
    }
}

void CHImageAnimationSet::ArmTimer()
{
    if (m_nTimerId != 0 || m_hWndOwner == nullptr)
        return;
    if (m_nFrame < 0 || m_nFrame >= static_cast<int>(m_delays.size()))
        return;
    const UINT nPeriod = static_cast<UINT>(m_nFixedPeriod != 0 ? m_nFixedPeriod : m_delays[m_nFrame]);
    HCHECK_WIN32(::SetTimer(m_hWndOwner, kTimerId, nPeriod, nullptr) != 0);
    m_nTimerId = kTimerId;
    m_hWndTimer = m_hWndOwner;
}

void CHImageAnimationSet::KillTimer() noexcept
{
    if (m_nTimerId == 0)
        return;
    ::KillTimer(m_hWndTimer, m_nTimerId);
    m_nTimerId = 0;
    m_hWndTimer = nullptr;
}

void CHImageAnimationSet::RepaintClients() const noexcept
{
    for (HWND hWnd : m_clients)
        ::InvalidateRect(hWnd, nullptr, m_bErase);
}

void CHImageAnimationSet::Start(int nTime)
{
    HTRY {
        if (m_bRunning)
            return;
        CheckCanRun(nTime);
        Rewind();
        if (nTime != 0)
            Seek(nTime);
        ArmTimer();
        m_bRunning = true;
    } HCATCH
}

void CHImageAnimationSet::Stop()
{
    HTRY {
        KillTimer();
        if (m_bRunning) {
            m_bRunning = false;
            RepaintClients();
        }
        Rewind();
    } HCATCH
}

void CHImageAnimationSet::AdvanceFixedPeriod() noexcept
{
    m_nOffset += m_nFixedPeriod;
    // A tick may cover more than one short frame; the cycle's end rewinds the
    // offset, so this ends within one pass over the delays.
    while (m_nOffset >= m_delays[m_nFrame]) {
        if (m_nFrame + 1 >= static_cast<int>(m_delays.size())) {
            ++m_nCycles;
            m_nFrame = 0;
            m_nOffset = 0;
            m_nFrameStart = 0;
            return;
        }
        m_nOffset -= m_delays[m_nFrame];
        m_nFrameStart += m_delays[m_nFrame];
        ++m_nFrame;
    }
}

void CHImageAnimationSet::AdvanceFrame() noexcept
{
    m_nOffset = 0;
    if (m_nFrame + 1 >= static_cast<int>(m_delays.size())) {
        ++m_nCycles;
        m_nFrame = 0;
        m_nFrameStart = 0;
        return;
    }
    m_nFrameStart += m_delays[m_nFrame];
    ++m_nFrame;
}

void CHImageAnimationSet::Step()
{
    HTRY {
        KillTimer();
        // A tick that was queued before Stop.
        if (!m_bRunning)
            return;
        // The delays were shortened under a running set: nothing sensible to show.
        if (m_nFrame >= static_cast<int>(m_delays.size())) {
            Stop();
            return;
        }
        if (m_nFixedPeriod != 0)
            AdvanceFixedPeriod();
        else
            AdvanceFrame();
        if (m_nMaxCycles != 0 && m_nCycles >= m_nMaxCycles) {
            Stop();
            return;
        }
        RepaintClients();
        ArmTimer();
    } HCATCH
}

const CHImage* CHImageAnimationSet::GetImage(int nId)
{
    HTRY {
        if (!m_bRunning)
            return nullptr;
        CHImageAnimation* pAnim = GetAnim(nId);
        if (pAnim == nullptr)
            return nullptr;
        const CHImage* pCurrent = pAnim->GetFrame(m_nFrame);
        if (m_nFixedPeriod == 0 || m_nOffset == 0 || m_nFrame >= static_cast<int>(m_delays.size()))
            return pCurrent;
        const CHImage* pNext = pAnim->GetFrame(m_nFrame + 1);
        if (!CanBlend(pCurrent, pNext))
            return pCurrent;

        const int nStamp = m_nFrameStart + m_nOffset;
        if (!pAnim->m_blend.IsNull() && pAnim->m_nBlendStamp == nStamp)
            return &pAnim->m_blend;
        const int nDelay = m_delays[m_nFrame];
        const float fWeight = ClampWeight(m_pfnProgress != nullptr ? m_pfnProgress(m_nOffset, nDelay, *this)
                                                                   : DefaultProgress(m_nOffset, nDelay, *this));
        // The stamp is cleared first: a blend that fails half-way is never reused.
        pAnim->m_nBlendStamp = -1;
        CHImageProcessor::WeightedSumImages(*pNext, fWeight, *pCurrent, pAnim->m_blend);
        pAnim->m_nBlendStamp = nStamp;
        return &pAnim->m_blend;
    } HCATCH
}

void CHImageAnimationSet::Clear()
{
    HTRY {
        Stop();
        m_anims.clear();
        m_ids.clear();
        m_delays.clear();
        m_clients.clear();
    } HCATCH
}

void CHImageAnimationSet::SetOwner(HWND hWndOwner)
{
    HTRY {
        if (hWndOwner == m_hWndOwner)
            return;
        KillTimer();
        m_hWndOwner = hWndOwner;
        if (m_bRunning)
            ArmTimer();
    } HCATCH
}

void CHImageAnimationSet::AddClient(HWND hWnd)
{
    HTRY {
        if (hWnd != nullptr && std::find(m_clients.begin(), m_clients.end(), hWnd) == m_clients.end())
            m_clients.push_back(hWnd);
    } HCATCH
}

void CHImageAnimationSet::RemoveClient(HWND hWnd) noexcept
{
    m_clients.erase(std::remove(m_clients.begin(), m_clients.end(), hWnd), m_clients.end());
}

int CHImageAnimationSet::StartOfFrame(int nFrame) const noexcept
{
    long long nStart = 0;
    for (int i = 0; i < nFrame && i < static_cast<int>(m_delays.size()); ++i)
        nStart += m_delays[i];
    return static_cast<int>(std::min<long long>(nStart, INT_MAX));
}

int CHImageAnimationSet::GetTotalLength() const noexcept
{
    return StartOfFrame(static_cast<int>(m_delays.size()));
}

int CHImageAnimationSet::GetElapsed() const noexcept
{
    return StartOfFrame(m_nFrame) + m_nOffset;
}
