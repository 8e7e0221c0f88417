#pragma once

#include "platform/win32.h"

// The path of FILE.1 in the launcher's own directory, into a kPathBufferSize
// buffer. False when the launcher's path cannot be had or leaves no room for
// the file name; the caller then acts as if FILE.1 were missing.
bool BuildFirstPartPath(char* path);

// The progress dialog: shows the name from part 1 and, from a command it
// posts itself, runs the whole job.
INT_PTR CALLBACK LauncherDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);
