// The launcher's one door to the operating system.
//
// Everything the launcher does to files, windows and the process goes through
// the Win32 names declared here and the handful of helpers at the end. On
// Windows this is <windows.h>; on the build host it is the same subset with
// types of our own, implemented by the in-memory machine in tests/host, so the
// whole launcher logic runs in unit tests without Windows.
#pragma once

#include <stddef.h>
#include <string.h>

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#else

#include <stdint.h>

#define WINAPI
#define CALLBACK
#define WINAPIV

typedef int BOOL;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
typedef size_t SIZE_T;
typedef void* HANDLE;
typedef void* HLOCAL;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef struct SECURITY_ATTRIBUTES_* LPSECURITY_ATTRIBUTES;
typedef struct OVERLAPPED_* LPOVERLAPPED;
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_ATTRIBUTES ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)0xFFFFFFFF)

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u
#define FILE_BEGIN 0u

#define PAGE_READWRITE 0x04u
#define FILE_MAP_WRITE 0x0002u

#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004u

#define LMEM_FIXED 0x0000u

#define MB_OKCANCEL 0x00000001u
#define MB_ICONERROR 0x00000010u
#define IDOK 1
#define IDCANCEL 2

#define SW_SHOW 5

#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u

#define MAKEINTRESOURCEA(id) ((LPCSTR)(uintptr_t)(unsigned short)(id))

// Files.
HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, DWORD* bytesRead,
                     LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, DWORD* bytesWritten,
                      LPOVERLAPPED overlapped);
BOOL WINAPI CloseHandle(HANDLE object);
DWORD WINAPI GetFileSize(HANDLE file, DWORD* fileSizeHigh);
DWORD WINAPI SetFilePointer(HANDLE file, LONG distanceToMove, LONG* distanceToMoveHigh,
                            DWORD moveMethod);
BOOL WINAPI SetEndOfFile(HANDLE file);
DWORD WINAPI GetFileAttributesA(LPCSTR fileName);

// File mapping.
HANDLE WINAPI CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                                 DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCSTR name);
LPVOID WINAPI MapViewOfFile(HANDLE mapping, DWORD desiredAccess, DWORD offsetHigh,
                            DWORD offsetLow, SIZE_T bytesToMap);
BOOL WINAPI UnmapViewOfFile(LPCVOID baseAddress);

// Delayed file operations.
BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);

// Paths, directories and the environment.
DWORD WINAPI GetModuleFileNameA(HINSTANCE module, LPSTR fileName, DWORD size);
DWORD WINAPI GetTempPathA(DWORD bufferLength, LPSTR buffer);
UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size);
DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD bufferLength);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR pathName);
DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
BOOL WINAPI SetEnvironmentVariableA(LPCSTR name, LPCSTR value);

// Memory, programs, text.
HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL WINAPI LocalFree(HLOCAL memory);
UINT WINAPI WinExec(LPCSTR commandLine, UINT showCommand);
LPSTR WINAPI lstrcatA(LPSTR string1, LPCSTR string2);

// User interface.
INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int itemId, LPCSTR text);
HWND WINAPI GetDlgItem(HWND dialog, int itemId);
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...);

#endif

// Helpers of our own, the same on every build (src/platform/text.cpp,
// src/platform/file_status.cpp).

// True when a file or directory of that name exists (a drive root counts).
// Names with wildcards never exist.
bool PathExists(const char* path);

// The last occurrence of the byte c in the text, or null. Byte by byte: no
// double-byte code page is honoured, as in a path search on Windows 9x.
char* FindLastChar(char* text, char c);

// Writes value in decimal, without leading zeros, NUL-terminated; at most 12
// bytes. Returns the number of characters written.
int FormatDecimal(char* out, int value);

// Length of a NUL-terminated text.
int TextLength(const char* text);

// The first occurrence of needle in the first haystackLength bytes, or null.
const unsigned char* FindBytes(const unsigned char* haystack, size_t haystackLength,
                               const unsigned char* needle, size_t needleLength);
