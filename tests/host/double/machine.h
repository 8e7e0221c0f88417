// The in-memory machine behind the host build's Win32 subset.
//
// One global machine (Machine()) stands for the computer the launcher runs on:
// drives and the disk in each, files and directories, the Windows and temp
// directories, the process's current directory and environment, open handles,
// the copy buffer, message boxes and the progress dialog. Tests set it up,
// let the launcher run against it, and read back what happened: the files, the
// prompts, the started program, the order of events and anything left open.
//
// Where the launcher relies on how Windows behaves, the machine behaves so too:
// ReadFile at the end of a file returns TRUE with 0 bytes, CREATE_ALWAYS
// truncates, OPEN_ALWAYS creates an empty file, a mapping larger than its file
// grows it with zero bytes, a view is written back when it is unmapped, and
// SetEndOfFile is refused while the file is mapped. Share modes are ignored.
//
// It does not depend on GoogleTest, so fuzzers can drive it too.
#pragma once

#include "platform/win32.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fake {

// One file's bytes and the faults planted in it. A fault belongs to the file,
// not to its path: swap the disk and the good copy on the other disk reads well.
struct FileNode {
    std::string data;
    // A ReadFile whose range covers this offset fails (a bad sector). -1: none.
    int64_t readFailsAt = -1;
    // How often that read fails before the sector reads well; -1: always.
    int readFailures = -1;
    // A WriteFile that would reach past this offset fails with nothing
    // written (a full disk). -1: none.
    int64_t writeFailsAt = -1;
    // A WriteFile that would reach past this offset writes up to it and
    // reports TRUE with the shorter count. -1: none.
    int64_t shortWriteAt = -1;
    // Opens that fail before one succeeds; -1: every open fails.
    int openFailures = 0;
};

// The file system on one disk or share: files and directories by upper-case
// path inside the volume ("\DIR\FILE.1"); "" is the root, which always exists.
struct Volume {
    std::map<std::string, std::shared_ptr<FileNode>> files;
    std::set<std::string> directories;

    // Adds or replaces a file, creating its directories. path: "\DIR\NAME".
    std::shared_ptr<FileNode> Add(const std::string& path, const std::string& data);
    void AddDirectory(const std::string& path);
};

std::shared_ptr<Volume> NewVolume();

enum class EventKind {
    Call,            // any platform call, detail = function name
    OpenFile,        // detail = path
    CloseHandle,     // detail = what the handle was
    Read,            // detail = path
    Write,           // detail = path
    MoveFileEx,      // detail = existing name
    MessageBox,      // detail = text
    WinExec,         // detail = command line
    LocalAlloc,
    LocalFree,
    SetDlgItemText,  // detail = text
    PostMessage,
    DialogMessage,   // a message delivered to the dialog procedure
    EndDialog,
    FileStatus,      // GetFileAttributesA, detail = path
};

struct Event {
    EventKind kind;
    std::string detail;
    uintptr_t handle = 0;
    // For a Call: what it was about (a path, a prompt's text, a command line).
    std::string argument;
};

struct CreateFileCall {
    std::string path;
    DWORD access;
    DWORD share;
    bool securityAttributes;
    DWORD disposition;
    DWORD flags;
    bool templateFile;
    bool succeeded;
};

struct MessageBoxRecord {
    bool hasOwner;
    bool hasCaption;
    std::string caption;
    std::string text;
    UINT type;
    // What was still held while the box was up.
    int openHandles;
    int liveBuffers;
};

// One scripted answer; action runs first, as the user changing the disk
// before pressing the button.
struct Answer {
    int button;
    std::function<void()> action;
};

struct LaunchRecord {
    std::string commandLine;
    UINT showCommand;
    std::string currentDirectory;
    std::map<std::string, std::string> environment;
    // The file the command line names, as it stood at that moment, if any.
    std::optional<std::string> programBytes;
};

struct DialogRecord {
    bool created = false;
    uintptr_t instance = 0;
    uintptr_t templateId = 0;
    bool hasOwner = false;
    LPARAM initParam = 0;
    bool ended = false;
    INT_PTR result = 0;
    INT_PTR returned = 0;
    // The dialog waited for messages that never came: on Windows it would
    // stay up for good.
    bool stuck = false;
    std::map<int, std::string> itemText;
};

struct PostedMessage {
    uintptr_t window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct Handle {
    enum Kind { File, Mapping } kind;
    std::string path;
    std::shared_ptr<FileNode> file;
    DWORD access = 0;
    uint64_t position = 0;
    uint64_t mappingSize = 0;
    bool open = true;
};

struct View {
    std::shared_ptr<FileNode> file;
    std::vector<unsigned char> bytes;
};

class MachineState {
public:
    // --- the machine as a test sets it up ---

    // Volumes by root: "A:", "C:", "\\SERVER\SHARE". A drive without a disk
    // holds a null volume.
    std::map<std::string, std::shared_ptr<Volume>> roots;
    std::string modulePath = "A:\\SETUP.EXE";
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string tempDirectory = "C:\\TEMP\\";
    std::string currentDirectory = "A:\\";
    std::map<std::string, std::string> environment;

    // Puts a disk into a drive ('A'), replacing the one there; null ejects.
    void InsertDisk(char drive, std::shared_ptr<Volume> disk);
    std::shared_ptr<Volume> DiskIn(char drive) const;

    // Files by full path, on whatever disk is in the drive now.
    std::shared_ptr<FileNode> AddFile(const std::string& path, const std::string& data);
    void AddDirectory(const std::string& path);
    std::shared_ptr<FileNode> FindFile(const std::string& path) const;
    bool Exists(const std::string& path) const;
    void RemoveFile(const std::string& path);

    // --- faults ---

    // Makes the n-th call (from 1) of a platform function fail the way that
    // function fails on Windows.
    void FailCall(const std::string& function, int nth);
    // Makes every call of a platform function fail.
    void FailAlways(const std::string& function);

    BOOL moveFileExResult = TRUE;
    // GetFileSize reports these instead of the truth.
    std::optional<DWORD> fileSizeLow;
    DWORD fileSizeHigh = 0;
    // GetShortPathNameA's answer instead of the computed short path: a text,
    // or a bare return value (0, or a length of 260 or more).
    std::optional<std::string> shortPathText;
    std::optional<DWORD> shortPathResult;
    // WinExec's result; above 31 is success.
    UINT winExecResult = 33;

    // --- the user ---

    std::vector<Answer> answers;
    size_t nextAnswer = 0;
    // When set, answers every prompt instead of the script: a user who reads
    // the prompt and does what it asks.
    std::function<int(const std::string& caption, const std::string& text)> responder;
    // An unscripted prompt is answered with this and reported as a problem.
    int unscriptedAnswer = IDCANCEL;
    bool unscriptedIsProblem = true;
    // Prompts past this many end the run with Cancel: a loop without end.
    size_t promptLimit = 200;

    // --- what happened ---

    std::vector<Event> events;
    std::vector<CreateFileCall> createFileCalls;
    std::vector<MessageBoxRecord> boxes;
    std::vector<LaunchRecord> launches;
    std::vector<std::string> moveFileExCalls;
    std::map<std::string, int> callCounts;
    DialogRecord dialog;
    std::vector<PostedMessage> postedLog;
    // Misuse of the platform: a double close, an unknown handle, a read
    // without read access, an unknown format directive, an unscripted prompt.
    std::vector<std::string> problems;

    // Accounting.
    int OpenHandles() const;
    std::vector<std::string> OpenHandleNames() const;
    int LiveBuffers() const { return static_cast<int>(buffers.size()); }
    int LiveViews() const { return static_cast<int>(views.size()); }
    int HandlesOpened() const { return static_cast<int>(handles.size()); }

    // Index of the first event of that kind (and detail, when given) from
    // index from on, or -1.
    int FindEvent(EventKind kind, const std::string& detail = std::string(), int from = 0) const;
    int CountEvents(EventKind kind, const std::string& detail = std::string()) const;

    // --- used by the platform functions ---

    struct Resolved {
        bool valid = false;
        std::string root;
        std::string key;  // upper case, inside the volume; "" for the root
        std::shared_ptr<Volume> volume;
    };
    Resolved Resolve(const std::string& path) const;
    // Counts and records the call; true when it is to fail.
    bool ShouldFail(const char* function, const std::string& argument = std::string());
    // The path a handle was opened with, or "" (without complaint).
    std::string PathOf(HANDLE handle) const;
    HANDLE NewHandle(Handle handle);
    Handle* Lookup(HANDLE handle, Handle::Kind kind, const char* function);
    Handle* LookupAny(HANDLE handle, const char* function);
    void Record(EventKind kind, const std::string& detail, uintptr_t handle = 0);
    void Problem(const std::string& text);

    std::vector<Handle> handles;
    std::map<void*, std::unique_ptr<unsigned char[]>> buffers;
    std::map<const void*, View> views;
    std::map<std::string, std::set<int>> failingCalls;
    std::set<std::string> alwaysFailing;
    std::vector<PostedMessage> posted;
    // Short names handed out, upper case, with the long path each stands for.
    std::map<std::string, std::string> shortAliases;
};

// The window handles the dialog and its controls get: the control with id n
// is kFirstControlWindow + n.
const uintptr_t kDialogWindow = 0xD1A10;
const uintptr_t kFirstControlWindow = 0xC0000;

// The machine of this process. Reset() gives a fresh one: drive A: with an
// empty disk, drive C: with C:\WINDOWS and C:\TEMP.
MachineState& Machine();
void Reset();

// Upper case of a path, as Windows compares names.
std::string Upper(const std::string& text);

}  // namespace fake
