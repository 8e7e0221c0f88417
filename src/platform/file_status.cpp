// The file-status query. GetFileAttributesA answers for files, directories
// and drive roots alike, exists on every Windows from 95 on, and rejects
// wildcards as an invalid name instead of matching them.
#include "platform/win32.h"

bool PathExists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}
