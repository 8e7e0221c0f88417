#pragma once

#include "assembly/part_header.h"
#include "platform/win32.h"

enum AssemblyOutcome {
    Completed,    // the part flagged as last has been copied
    Declined,     // the next-disk prompt was not answered with OK
    Cancelled,    // the wrong-disk prompt was cancelled, or the run could not go on
    WriteFailed,  // the output could not be written
};

// Copies the payloads of FILE.1, FILE.2, … into output, checking every part
// against part 1 and asking for disks as needed.
//
// partPath: a writable kPathBufferSize buffer holding the path of part 1; it is
// rewritten in place to name each following part.
// output: an open, writable, empty file; it stays open.
// copyBuffer: kCopyBufferSize bytes lent by the caller.
//
// On every return the part file that was open has been closed. Bytes already
// written stay in the output unless a read failed in the middle of a part.
AssemblyOutcome AssembleParts(char* partPath, HANDLE output, unsigned char* copyBuffer);

// Replaces the text after the last "." of a part path with partNumber in
// decimal. Returns false, leaving the path as it was, when there is no "."
// or the result would not fit in kPathBufferSize bytes.
bool SetPartNumber(char* partPath, int partNumber);
