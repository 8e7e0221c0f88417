# Runs partset.exe under Wine: split a small file over several disks, verify,
# join, and compare with the original.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# 20,000 bytes of varied content, and a stand-in launcher of 3,000 bytes.
string(RANDOM LENGTH 20000 ALPHABET "0123456789abcdefghijklmnopqrstuvwxyzÄäÖöÜüß" content)
file(WRITE ${WORK_DIR}/installer.exe "${content}")
string(RANDOM LENGTH 3000 launcher)
file(WRITE ${WORK_DIR}/SETUP.EXE "${launcher}")

function(run_partset)
    execute_process(COMMAND ${EMULATOR} ${PARTSET} ${ARGN}
                    WORKING_DIRECTORY ${WORK_DIR}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    message(STATUS "partset ${ARGN}\n${out}${err}")
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "partset ${ARGN} failed with ${rc}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

run_partset(split installer.exe --name "Smoke Test ä" --out set --disk 5000 --launcher SETUP.EXE)
run_partset(verify set)
run_partset(join set --out joined.exe)

foreach(f set/disk1/SETUP.EXE set/disk1/FILE.1 set/disk2/FILE.2 joined.exe)
    if(NOT EXISTS ${WORK_DIR}/${f})
        message(FATAL_ERROR "${f} was not written")
    endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/installer.exe ${WORK_DIR}/joined.exe
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
    message(FATAL_ERROR "joined.exe differs from installer.exe")
endif()
# The name is stored in Windows-1252: "ä" is the byte 0xE4 at offset 11.
file(READ ${WORK_DIR}/set/disk1/FILE.1 name_bytes OFFSET 11 LIMIT 1 HEX)
if(NOT name_bytes STREQUAL "e4")
    message(FATAL_ERROR "the name's ä is stored as ${name_bytes}, not e4")
endif()
