// What WinInit.Ini looks like before and after a removal request, as a table
// shared by the host tests (in-memory files) and the Windows-side tests (real
// files through a real mapping). Contents are byte strings: they may hold
// zero bytes.
#pragma once

#include <string>

namespace wininit_cases {

using namespace std::string_literals;

struct WinInitCase {
    const char* title;
    bool fileExists;          // WinInit.Ini is there before the request
    std::string before;       // its content then
    const char* existingName;
    const char* newName;      // null: delete at restart
    std::string after;        // the whole file afterwards
};

inline const WinInitCase kWinInitCases[] = {
    {"file absent: created with the section and the entry", false, "",
     "C:\\TEMP\\SETUP.EXE", nullptr,
     "[Rename]\r\nNUL=C:\\TEMP\\SETUP.EXE\r\n"},
    {"empty file", true, "",
     "C:\\TEMP\\SETUP.EXE", nullptr,
     "[Rename]\r\nNUL=C:\\TEMP\\SETUP.EXE\r\n"},
    {"section present: new entry directly below the header, earlier ones kept", true,
     "[Rename]\r\nNUL=C:\\OLD.EXE\r\n",
     "C:\\TEMP\\QVTMPINS.EXE", nullptr,
     "[Rename]\r\nNUL=C:\\TEMP\\QVTMPINS.EXE\r\nNUL=C:\\OLD.EXE\r\n"},
    {"section in the middle: the rest moves up, nothing else changes", true,
     "; made by setup\r\n[Rename]\r\nNUL=C:\\A\r\n[Other]\r\nx=1\r\n",
     "C:\\B", nullptr,
     "; made by setup\r\n[Rename]\r\nNUL=C:\\B\r\nNUL=C:\\A\r\n[Other]\r\nx=1\r\n"},
    {"section header ends the file", true, "[Rename]\r\n",
     "C:\\B", nullptr,
     "[Rename]\r\nNUL=C:\\B\r\n"},
    {"no section: header and entry appended", true, "[Other]\r\nx=1\r\n",
     "C:\\B", nullptr,
     "[Other]\r\nx=1\r\n[Rename]\r\nNUL=C:\\B\r\n"},
    {"last line without line break: header glued to it", true, "[Other]\r\nx=1",
     "C:\\B", nullptr,
     "[Other]\r\nx=1[Rename]\r\nNUL=C:\\B\r\n"},
    {"[rename] in lower case is another section", true, "[rename]\r\nNUL=C:\\A\r\n",
     "C:\\B", nullptr,
     "[rename]\r\nNUL=C:\\A\r\n[Rename]\r\nNUL=C:\\B\r\n"},
    {"header ended by LF alone is not the header", true, "[Rename]\nNUL=C:\\A\n",
     "C:\\B", nullptr,
     "[Rename]\nNUL=C:\\A\n[Rename]\r\nNUL=C:\\B\r\n"},
    {"zero byte ends the text: a header after it is not found", true,
     "x=1\r\n\0[Rename]\r\n"s,
     "C:\\B", nullptr,
     "x=1\r\n\0[Rename]\r\n[Rename]\r\nNUL=C:\\B\r\n"s},
    {"two sections: the first gets the entry", true,
     "[Rename]\r\nNUL=C:\\A\r\n[Rename]\r\nNUL=C:\\Z\r\n",
     "C:\\B", nullptr,
     "[Rename]\r\nNUL=C:\\B\r\nNUL=C:\\A\r\n[Rename]\r\nNUL=C:\\Z\r\n"},
    {"header inside a line is still found", true, "x=[Rename]\r\ny=2\r\n",
     "C:\\B", nullptr,
     "x=[Rename]\r\nNUL=C:\\B\r\ny=2\r\n"},
    {"new name given: new=existing", true, "",
     "C:\\TEMP\\NEW.DLL", "C:\\WINDOWS\\SYSTEM\\OLD.DLL",
     "[Rename]\r\nC:\\WINDOWS\\SYSTEM\\OLD.DLL=C:\\TEMP\\NEW.DLL\r\n"},
    {"empty new name stays empty", true, "",
     "C:\\B", "",
     "[Rename]\r\n=C:\\B\r\n"},
};

}  // namespace wininit_cases
