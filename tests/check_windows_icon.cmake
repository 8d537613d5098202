# SPDX-License-Identifier: MIT
# Compiles the executable's resource script to a COFF object with the MinGW resource compiler and
# decompiles the object again: it must hold the group icon IDI_ICON1 with one 64 x 64 image of
# 24 bits per pixel, in US English, and no other resource.
# Arguments: -DWINDRES=... -DPREPROCESSOR=<C or C++ compiler> -DRC_FILE=... -DWORK_DIR=...

foreach(arg WINDRES PREPROCESSOR RC_FILE WORK_DIR)
    if(NOT ${arg})
        message(FATAL_ERROR "check_windows_icon.cmake needs -D${arg}=...")
    endif()
endforeach()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(object "${WORK_DIR}/K732-118.res.o")

# The MinGW compiler need not be installed, so the host compiler preprocesses the script.
execute_process(
    COMMAND "${WINDRES}" "--preprocessor=${PREPROCESSOR}"
        --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
        --input "${RC_FILE}" --output "${object}" --output-format coff
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE result
    ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "windres could not compile ${RC_FILE}:\n${errors}")
endif()

execute_process(
    COMMAND "${WINDRES}" --input "${object}" --input-format coff --output-format rc
    RESULT_VARIABLE result
    OUTPUT_VARIABLE listing
    ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "windres could not read back ${object}:\n${errors}")
endif()

set(failures "")
function(expect regex problem)
    if(NOT listing MATCHES "${regex}")
        set(failures "${failures}\n  ${problem}" PARENT_SCOPE)
    endif()
endfunction()

# One icon image and the group that names it, nothing else (no version information, no manifest).
string(REGEX MATCHALL "/\\* Type: [^\n]*" types "${listing}")
if(NOT types STREQUAL "/* Type: icon;/* Type: group icon")
    set(failures "${failures}\n  resources besides one icon and its group: ${types}")
endif()
expect("\"IDI_ICON1\" 14 /\\* RT_GROUP_ICON \\*/" "no group icon named \"IDI_ICON1\"")
expect("\"\\\\100\\\\100\\\\000\\\\000\", 1, 24, 0x3228L, 1\t"
    "the group is not one 64 x 64 (octal 100), 24-bit image of 12840 bytes as icon 1")

# Every resource is tagged US English (LANG_ENGLISH 9, SUBLANG_ENGLISH_US 1). windres writes a
# LANGUAGE line only where the language changes, so the first must come before the first resource.
string(REGEX MATCHALL "LANGUAGE [0-9]+, [0-9]+" languages "${listing}")
list(REMOVE_DUPLICATES languages)
string(FIND "${listing}" "LANGUAGE" first_language)
string(FIND "${listing}" "BEGIN" first_resource)
if(NOT languages STREQUAL "LANGUAGE 9, 1" OR first_language GREATER first_resource)
    set(failures "${failures}\n  not every resource is US English: ${languages}")
endif()

if(failures)
    message(FATAL_ERROR "${RC_FILE} compiled, but:${failures}\nwindres listing:\n${listing}")
endif()
