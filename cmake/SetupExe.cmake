# SETUP.EXE: freestanding, small, and loadable by Windows 95.
#
# -nostdlib/-nostartfiles: no C runtime. msvcrt.dll is absent from Windows 95
#   before OSR2, and MinGW's prebuilt startup code contains CMOV.
# -march=i486: no CMOV, FCOMI, CPUID or SIMD, so a 486 or first Pentium runs it.
# -Os, sections and --gc-sections, -s: every KiB saved is payload on disk 1.
# -fno-tree-loop-distribute-patterns: keeps GCC from turning the copy loops of
#   our own memcpy/memset into calls to themselves.
# -mno-stack-arg-probe: no __chkstk; no frame is near a page in size.
# subsystem and OS version 4.0: the newest that Windows 95 and NT 4.0 load.
set(SETUP_EXE_COMPILE_OPTIONS
    -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-stack-protector -fno-tree-loop-distribute-patterns -fno-ident
    -ffunction-sections -fdata-sections -Wall -Wextra -Werror)
if(LAUNCHER_ARCH STREQUAL "win32")
    list(APPEND SETUP_EXE_COMPILE_OPTIONS -march=i486 -mtune=i486 -mno-stack-arg-probe
         -mpreferred-stack-boundary=2)
    set(SETUP_EXE_ENTRY _LauncherEntry@0)
else()
    list(APPEND SETUP_EXE_COMPILE_OPTIONS -mno-stack-arg-probe)
    set(SETUP_EXE_ENTRY LauncherEntry)
endif()

add_executable(setup_exe WIN32
    ${LAUNCHER_LOGIC_SOURCES}
    src/platform/runtime.cpp
    src/launcher/entry.cpp
    src/launcher/launcher.rc)
target_include_directories(setup_exe PRIVATE src)
target_compile_options(setup_exe PRIVATE ${SETUP_EXE_COMPILE_OPTIONS})
target_link_options(setup_exe PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,-e,${SETUP_EXE_ENTRY}
    -Wl,--gc-sections
    -Wl,--subsystem,windows:4.0
    -Wl,--major-os-version,4 -Wl,--minor-os-version,0
    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0)
target_link_libraries(setup_exe PRIVATE kernel32 user32)
set_target_properties(setup_exe PROPERTIES
    OUTPUT_NAME SETUP
    SUFFIX .EXE
    RUNTIME_OUTPUT_DIRECTORY ${DIST_DIR}/${LAUNCHER_ARCH})
# A plain ".EXE" would otherwise drop C++ standard libraries into the link.
set_target_properties(setup_exe PROPERTIES LINKER_LANGUAGE C)
