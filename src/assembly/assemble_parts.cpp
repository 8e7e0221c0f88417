// The assembly loop: payload after payload into the output, with the disk
// prompts in between.
#include "assembly/assemble_parts.h"

namespace {

// "Nächste Diskette" and "Falsche Diskette" in Windows-1252.
const char kNextDiskCaption[] = "N\xE4" "chste Diskette";
const char kWrongDiskCaption[] = "Falsche Diskette";
const char kInsertDiskFormat[] = "Bitte legen Sie Diskette %s ein";

enum PayloadResult { kPayloadCopied, kPayloadReadFailed, kPayloadWriteFailed };

// Shared state of one run. Lives on AssembleParts' stack.
struct AssemblyRun {
    char* partPath;
    HANDLE output;
    unsigned char* copyBuffer;
    PartHeader referenceHeader;
    PartHeader currentHeader;
    bool haveReference;
    // Where the payload of the part being copied begins in the output, so a
    // part that breaks off can be cut away again.
    DWORD outputLow;
    LONG outputHigh;
};

HANDLE OpenPart(const char* partPath)
{
    return CreateFileA(partPath, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, 0);
}

// Opens the part at the current path and reads its header. Returns the open
// part, positioned at its payload, when it belongs to the set; otherwise
// closes it and returns INVALID_HANDLE_VALUE.
//
// Only a complete header counts: a short one cannot be compared, and taking
// one as the reference would let a truncated part 1 decide what the set is.
HANDLE OpenMatchingPart(AssemblyRun& run)
{
    HANDLE part = OpenPart(run.partPath);
    if (part == INVALID_HANDLE_VALUE) {
        return part;
    }
    DWORD got = 0;
    BOOL read = ReadFile(part, run.currentHeader.bytes, kPartHeaderSize, &got, 0);
    bool matches = read && got == static_cast<DWORD>(kPartHeaderSize);
    if (matches && !run.haveReference) {
        run.referenceHeader = run.currentHeader;
        run.haveReference = true;
    } else if (matches) {
        matches = memcmp(run.currentHeader.bytes, run.referenceHeader.bytes,
                         kSetIdentityLength) == 0;
    }
    if (!matches) {
        CloseHandle(part);
        return INVALID_HANDLE_VALUE;
    }
    return part;
}

int AskForDisk(const char* caption, int partNumber)
{
    char number[12];
    char promptText[kPathBufferSize];
    FormatDecimal(number, partNumber);
    wsprintfA(promptText, kInsertDiskFormat, number);
    return MessageBoxA(0, promptText, caption, MB_OKCANCEL);
}

// Copies the rest of the part to the output. A read that fails partway is
// reported, not taken for the end of the part: on a floppy it means a bad
// sector, and the bytes behind it are missing from the installer.
PayloadResult CopyPayload(AssemblyRun& run, HANDLE part)
{
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(part, run.copyBuffer, kCopyBufferSize, &got, 0)) {
            return kPayloadReadFailed;
        }
        if (got == 0) {
            return kPayloadCopied;
        }
        DWORD put = 0;
        if (!WriteFile(run.output, run.copyBuffer, got, &put, 0) || put != got) {
            return kPayloadWriteFailed;
        }
        DWORD low = run.outputLow + got;
        if (low < run.outputLow) {
            ++run.outputHigh;
        }
        run.outputLow = low;
    }
}

// Cuts the output back to where the current part's payload began.
bool CutOutput(AssemblyRun& run, DWORD payloadLow, LONG payloadHigh)
{
    LONG high = payloadHigh;
    DWORD moved = SetFilePointer(run.output, static_cast<LONG>(payloadLow), &high, FILE_BEGIN);
    if (moved != payloadLow || high != payloadHigh) {
        return false;
    }
    if (!SetEndOfFile(run.output)) {
        return false;
    }
    run.outputLow = payloadLow;
    run.outputHigh = payloadHigh;
    return true;
}

}  // namespace

bool SetPartNumber(char* partPath, int partNumber)
{
    char* dot = FindLastChar(partPath, '.');
    if (dot == 0) {
        return false;
    }
    char number[12];
    int digits = FormatDecimal(number, partNumber);
    if ((dot + 1 - partPath) + digits + 1 > kPathBufferSize) {
        return false;
    }
    memcpy(dot + 1, number, static_cast<size_t>(digits) + 1);
    return true;
}

AssemblyOutcome AssembleParts(char* partPath, HANDLE output, unsigned char* copyBuffer)
{
    AssemblyRun run;
    run.partPath = partPath;
    run.output = output;
    run.copyBuffer = copyBuffer;
    run.haveReference = false;
    run.outputLow = 0;
    run.outputHigh = 0;

    int partNumber = 1;
    // Set once a following part was found without asking: the set lies on a
    // medium that holds several parts, so a missing part is a wrong disk.
    bool sameMedium = false;
    // After a part broke off, the user is asked for the disk again before
    // it is reread.
    bool askFirst = false;

    for (;;) {
        HANDLE part = askFirst ? INVALID_HANDLE_VALUE : OpenMatchingPart(run);
        while (part == INVALID_HANDLE_VALUE) {
            if (AskForDisk(kWrongDiskCaption, partNumber) == IDCANCEL) {
                return Cancelled;
            }
            part = OpenMatchingPart(run);
        }
        askFirst = false;

        DWORD payloadLow = run.outputLow;
        LONG payloadHigh = run.outputHigh;
        PayloadResult copied = CopyPayload(run, part);
        CloseHandle(part);
        if (copied == kPayloadWriteFailed) {
            return WriteFailed;
        }
        if (copied == kPayloadReadFailed) {
            if (!CutOutput(run, payloadLow, payloadHigh)) {
                return WriteFailed;
            }
            askFirst = true;
            continue;
        }

        ++partNumber;
        bool named = SetPartNumber(partPath, partNumber);
        if (run.currentHeader.bytes[kLastPartFlagOffset] != 0) {
            return Completed;
        }
        if (!named) {
            // The next part's name does not fit the path buffer: it could
            // never be opened, and an installer without its tail must not run.
            return Cancelled;
        }
        if (PathExists(partPath)) {
            sameMedium = true;
            continue;
        }
        if (sameMedium) {
            // Opening fails unless the part appeared meanwhile; the wrong-disk
            // prompt then asks for this number.
            continue;
        }
        if (AskForDisk(kNextDiskCaption, partNumber) != IDOK) {
            return Declined;
        }
    }
}
