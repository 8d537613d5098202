# SPDX-License-Identifier: MIT
# Builds the Debian package of a build tree with cpack, has lintian check it as Debian's archive
# would, and unpacks it into a scratch root to check what the package really holds: binaries
# without a run path, and manual pages that man renders without complaint.
# Run as: cmake -DCPACK=... -DCONFIG_FILE=... -DCONFIG=... -DWORK_DIR=... -DLINTIAN=...
#         -DDPKG_DEB=... -DMAN=... -DREADELF=... -DEXECUTABLES=a,b -DPAGES=a,b -P <this>
cmake_minimum_required(VERSION 3.21)

foreach(var CPACK CONFIG_FILE WORK_DIR LINTIAN DPKG_DEB MAN READELF EXECUTABLES PAGES)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

string(REPLACE "," ";" EXECUTABLES "${EXECUTABLES}")
string(REPLACE "," ";" PAGES "${PAGES}")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(config_args)
if(CONFIG)
    set(config_args -C "${CONFIG}")
endif()
execute_process(COMMAND "${CPACK}" -G DEB --config "${CONFIG_FILE}" -B "${WORK_DIR}" ${config_args}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack failed: ${result}\n${output}")
endif()
file(GLOB debs "${WORK_DIR}/*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "cpack made ${count} packages, not one: ${debs}\n${output}")
endif()
message(STATUS "package: ${debs}")

# Warnings count as failures: they are what keeps a package out of Debian. lintian refuses to
# read a package name that is not lowercase, so that is covered too.
execute_process(COMMAND "${LINTIAN}" --fail-on error,warning "${debs}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message(STATUS "lintian: ${result}\n${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lintian rejects ${debs}")
endif()

set(root "${WORK_DIR}/root")
execute_process(COMMAND "${DPKG_DEB}" -x "${debs}" "${root}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "dpkg-deb -x ${debs}: ${result}")
endif()

# The Qt libraries come from the system: a run path left in would make the program look for its
# libraries in the build tree first.
foreach(exe IN LISTS EXECUTABLES)
    set(file "${root}/usr/bin/${exe}")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "the package lacks /usr/bin/${exe}")
    endif()
    execute_process(COMMAND "${READELF}" -d "${file}"
        RESULT_VARIABLE result OUTPUT_VARIABLE dynamic ERROR_VARIABLE dynamic)
    if(NOT result EQUAL 0 OR dynamic MATCHES "\\((RPATH|RUNPATH)\\)")
        message(FATAL_ERROR "/usr/bin/${exe} has a run path or no dynamic section:\n${dynamic}")
    endif()
endforeach()

# man --warnings reports what groff finds questionable, as lintian's own check of the pages does.
foreach(page IN LISTS PAGES)
    set(file "${root}/usr/share/man/man1/${page}.1.gz")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "the package lacks /usr/share/man/man1/${page}.1.gz")
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env MANWIDTH=80 LC_ALL=C.UTF-8
            "${MAN}" --warnings -l "${file}"
        RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE errors)
    string(TOUPPER "${page}" title)
    if(NOT result EQUAL 0 OR NOT errors STREQUAL "" OR NOT text MATCHES "^${title}\\(1\\)")
        message(FATAL_ERROR "man -l ${file}: ${result}\n${errors}\n${text}")
    endif()
endforeach()
