// The layout of a part file: a 1024-byte header, then the next slice of the
// installer. Every part of a set carries the same first 1023 header bytes;
// the last byte says whether more parts follow.
#pragma once

const int kPathBufferSize = 260;

const int kPartHeaderSize = 1024;
// Application name, NUL-terminated inside the field (at most 259 bytes).
const int kNameFieldSize = 260;
// Name and set data: what every part of one set has in common.
const int kSetIdentityLength = 1023;
// 0: more parts follow; anything else: this is the last part.
const int kLastPartFlagOffset = 1023;

const int kCopyBufferSize = 1024;

struct PartHeader {
    unsigned char bytes[kPartHeaderSize];
};

// The extension part 1 carries; later parts replace the text after the last
// "." with their number in decimal (FILE.2, …, FILE.10).
const char kFirstPartFileName[] = "\\FILE.1";
