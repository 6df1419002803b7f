// The launcher's please-wait window: a skinned modal dialog with a caption, a
// centred message, an optional push button and an eight-frame spinner. It does
// no work itself; it shows that work runs on another thread and ends when told.
//
// Dialog template 218 ("wait-dialog" in the skin): message 1028 ("message"),
// spinner 1029 ("animation"), button 1 ("button"). The caller sets the title,
// message and button text (empty: no button) and runs it (Run). It ends with
//   1  when the worker ends it (RequestEnd) or the user presses the button,
//   2  when the user cancels it (Esc, the close command), or when the end was
//      requested before the dialog's window existed,
//  -1  when the window could not be created.
//
// RequestEnd may come from any thread at any time: before the window exists
// (the dialog then ends as soon as it opens), while it opens, or while it
// runs (the request is posted to the dialog's thread, which stops the spinner
// and ends the dialog; a timer is never touched from another thread).
// RequestFailure, from any thread as well, turns the dialog into a report:
// the spinner stops and goes, the message tells what failed, and the button
// shows so that the user can close the dialog.
//
// The spinner's eight frames are shared by every wait dialog of the process:
// from the program's PNG resources 224..231 (15 x 15) or from the skin's
// "Resources\anim_wait_N.png"; premultiplied; a new frame every 300 ms.
#pragma once

#include <windows.h>

#include <array>
#include <mutex>
#include <optional>
#include <string>

#include "RAde/DEVEDar/HDialog.h"
#include "RAde/DEVEDar/HImageAnimation.h"
#include "RAde/DEVEDar/HTransparentFrame.h"

class CHWaitDialog : public CHDialog<CHWaitDialog>
{
public:
    static constexpr UINT kTemplateId = 218;
    static constexpr int kMessageId = 1028;
    static constexpr int kAnimationId = 1029;
    static constexpr int kButtonId = 1;
    static constexpr int kFrameCount = 8;
    static constexpr int kFrameDelay = 300;  // ms
    static constexpr UINT kFirstFrameResource = 224;

    // The wait dialog always has a drop shadow.
    CHWaitDialog();
    ~CHWaitDialog() override;

    // The skin's names for the dialog and its controls.
    std::optional<std::wstring> GetFormId() const override { return L"wait-dialog"; }
    std::optional<std::wstring> GetControlName(int nControlId) const override;
    int GetControlId(const std::wstring& strName) const override;

    // The appearance's options, and the drop shadow the wait dialog always has.
    void TakeAppearanceOptions() override;

    // Runs the dialog modally over m_hWndOwner; returns how it ended (above).
    INT_PTR Run();
    // Ends the dialog with 1, or with 2 at its start when it has no window yet.
    void RequestEnd() noexcept;
    // Shows strMessage instead of the spinner, and the button (captioned
    // strButton, or as it is when that is empty); the dialog then stays until
    // the user closes it. A failure reported before the window exists shows
    // as soon as the dialog opens.
    void RequestFailure(const std::wstring& strMessage, const std::wstring& strButton) noexcept;

    // Fill the shared spinner frames from the program's resources or the skin.
    static void LoadWaitAnimFramesFromResources();
    static void LoadWaitAnimFramesFromSkin();
    static std::array<CHImage, kFrameCount>& WaitAnimFrames();

    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    std::wstring m_strTitle;
    std::wstring m_strMessage;
    std::wstring m_strButton;
    HWND m_hWndOwner = nullptr;

protected:
    LRESULT OnInitDialog() override;
    void OnDestroy();

    CHTransparentFrame& GetAnimFrame() noexcept { return m_animFrame; }
    CHImageAnimationSet& GetAnimSet() noexcept { return m_animSet; }

private:
    struct CFailureReport
    {
        std::wstring strMessage;
        std::wstring strButton;
    };
    // What the private request message asks of the dialog's thread (its wParam).
    enum ERequest : WPARAM
    {
        kEndRequest = 0,
        kFailureRequest = 1
    };

    // The private message that carries a request to the dialog's thread.
    static UINT RequestMessage();
    // Under m_endLock: posts the request, or says that the window takes none yet.
    bool PostRequest(ERequest request);
    bool TakeEndRequest();
    void ShowFailure();
    void InitializeLook();
    void StartSpinner();
    void PlaceDialog();

    CHTransparentFrame m_animFrame;
    CHImageAnimationSet m_animSet;
    bool m_bEndRequested = false;
    // Whether requests go to the window (posted) or wait in m_bEndRequested;
    // both under m_endLock, so that none falls between the two.
    bool m_bAcceptsPostedEnd = false;
    HWND m_hWndForRequests = nullptr;
    std::optional<CFailureReport> m_failure;  // under m_endLock
    std::mutex m_endLock;
};

// A wait dialog that draws itself into a picture once it shows, as the active
// window with its spinner held on the first frame (no timer moves it on), and
// ends with 1: how the gallery and the skin preview picture the wait dialog.
class CHRenderedWaitDialog : public CHWaitDialog
{
public:
    CHImage m_render;

protected:
    CHMessageAnswer AnswerMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void RenderOnce();
};
