// Message boxes and the modal dialog on the in-memory machine.
#include "double/machine.h"

using fake::EventKind;
using fake::Machine;
using fake::MachineState;

namespace {

using fake::kDialogWindow;
using fake::kFirstControlWindow;

const UINT kSetFontMessage = 0x0030;  // WM_SETFONT, sent before WM_INITDIALOG
const UINT kButtonTypeMask = 0x0000000Fu;

bool IsDialogControl(int id)
{
    return id == IDOK || id == IDCANCEL || id == 1000 || id == -1;
}

}  // namespace

// Error boxes have one OK button, which the user presses; prompts take their
// answers from the script, each after its action (the user changing disks).
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    MachineState& m = Machine();
    if (m.ShouldFail("MessageBoxA", text)) {
        return 0;
    }
    fake::MessageBoxRecord box;
    box.hasOwner = owner != nullptr;
    box.hasCaption = caption != nullptr;
    box.caption = caption != nullptr ? caption : "";
    box.text = text;
    box.type = type;
    box.openHandles = m.OpenHandles();
    box.liveBuffers = m.LiveBuffers();
    m.boxes.push_back(box);
    m.Record(EventKind::MessageBox, text);

    if ((type & kButtonTypeMask) != MB_OKCANCEL) {
        return IDOK;
    }
    if (m.boxes.size() > m.promptLimit) {
        m.Problem("prompts without end");
        return IDCANCEL;
    }
    if (m.responder) {
        return m.responder(box.caption, box.text);
    }
    if (m.nextAnswer >= m.answers.size()) {
        if (m.unscriptedIsProblem) {
            m.Problem(std::string("unscripted prompt: ") + text);
        }
        return m.unscriptedAnswer;
    }
    fake::Answer answer = m.answers[m.nextAnswer++];
    if (answer.action) {
        answer.action();
    }
    return answer.button;
}

// Runs the dialog as the dialog manager would: WM_SETFONT, WM_INITDIALOG, then
// the messages posted to it, until EndDialog. When the queue runs dry first,
// the real dialog would wait for ever; the machine notes that and returns.
INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam)
{
    MachineState& m = Machine();
    if (m.ShouldFail("DialogBoxParamA")) {
        return -1;
    }
    fake::DialogRecord& dialog = m.dialog;
    dialog = fake::DialogRecord();
    dialog.created = true;
    dialog.instance = reinterpret_cast<uintptr_t>(instance);
    dialog.templateId = reinterpret_cast<uintptr_t>(templateName);
    dialog.hasOwner = owner != nullptr;
    dialog.initParam = initParam;
    dialog.itemText[1000] = "THE NAME OF YOUR APP GOES HERE";

    HWND window = reinterpret_cast<HWND>(kDialogWindow);
    m.Record(EventKind::DialogMessage, "WM_SETFONT");
    if (dialogProc(window, kSetFontMessage, 0, 0) != FALSE) {
        m.Problem("the dialog procedure claimed WM_SETFONT");
    }
    m.Record(EventKind::DialogMessage, "WM_INITDIALOG");
    dialogProc(window, WM_INITDIALOG,
               static_cast<WPARAM>(kFirstControlWindow + IDOK), initParam);
    while (!dialog.ended) {
        if (m.posted.empty()) {
            dialog.stuck = true;
            break;
        }
        fake::PostedMessage message = m.posted.front();
        m.posted.erase(m.posted.begin());
        if (message.window != kDialogWindow) {
            m.Problem("a message posted to a window that is not the dialog");
            continue;
        }
        m.Record(EventKind::DialogMessage,
                 message.message == WM_COMMAND ? "WM_COMMAND" : std::to_string(message.message));
        dialogProc(window, message.message, message.wParam, message.lParam);
    }
    // Messages still queued die with the window.
    m.posted.clear();
    dialog.returned = dialog.ended ? dialog.result : 0;
    return dialog.returned;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result)
{
    MachineState& m = Machine();
    if (m.ShouldFail("EndDialog")) {
        return FALSE;
    }
    if (reinterpret_cast<uintptr_t>(dialog) != kDialogWindow || !m.dialog.created) {
        m.Problem("EndDialog for a window that is not the dialog");
        return FALSE;
    }
    if (m.dialog.ended) {
        m.Problem("EndDialog twice");
    }
    m.dialog.ended = true;
    m.dialog.result = result;
    m.Record(EventKind::EndDialog, std::to_string(result));
    return TRUE;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int itemId, LPCSTR text)
{
    MachineState& m = Machine();
    if (m.ShouldFail("SetDlgItemTextA", text)) {
        return FALSE;
    }
    if (reinterpret_cast<uintptr_t>(dialog) != kDialogWindow || !IsDialogControl(itemId)) {
        m.Problem("SetDlgItemTextA for a control the dialog does not have");
        return FALSE;
    }
    m.dialog.itemText[itemId] = text;
    m.Record(EventKind::SetDlgItemText, text, static_cast<uintptr_t>(itemId));
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int itemId)
{
    MachineState& m = Machine();
    if (m.ShouldFail("GetDlgItem")) {
        return nullptr;
    }
    if (reinterpret_cast<uintptr_t>(dialog) != kDialogWindow || !IsDialogControl(itemId)) {
        return nullptr;
    }
    return reinterpret_cast<HWND>(kFirstControlWindow + static_cast<uintptr_t>(itemId & 0xFFFF));
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MachineState& m = Machine();
    if (m.ShouldFail("PostMessageA")) {
        return FALSE;
    }
    fake::PostedMessage posted{reinterpret_cast<uintptr_t>(window), message, wParam, lParam};
    m.posted.push_back(posted);
    m.postedLog.push_back(posted);
    m.Record(EventKind::PostMessage, std::to_string(message));
    return TRUE;
}
