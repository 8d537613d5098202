# SPDX-License-Identifier: MIT
# Builds the two Debian packages of a build tree with cpack, the window's and the label tool's, has
# lintian check them as Debian's archive would, and unpacks each into a scratch root to check what
# it really holds: its own binary without a run path and none of the other's files, manual pages
# that man renders without complaint, its own copyright and changelog; and what it asks for: the
# tool's package no widget, GUI or X library, the window's package recommending the tool's.
# Run as: cmake -DCPACK=... -DCONFIG_FILE=... -DCONFIG=... -DWORK_DIR=... -DLINTIAN=...
#         -DDPKG_DEB=... -DMAN=... -DREADELF=... -DWINDOW_PACKAGE=... -DWINDOW_EXECUTABLE=...
#         -DTOOL_PACKAGE=... -DTOOL_EXECUTABLE=... -P <this>
cmake_minimum_required(VERSION 3.21)

foreach(var CPACK CONFIG_FILE WORK_DIR LINTIAN DPKG_DEB MAN READELF WINDOW_PACKAGE
            WINDOW_EXECUTABLE TOOL_PACKAGE TOOL_EXECUTABLE)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

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
set(packages WINDOW TOOL)
foreach(package IN LISTS packages)
    file(GLOB deb_${package} "${WORK_DIR}/${${package}_PACKAGE}_*.deb")
    list(LENGTH deb_${package} found)
    if(NOT count EQUAL 2 OR NOT found EQUAL 1)
        message(FATAL_ERROR "cpack did not make the two packages ${WINDOW_PACKAGE} and "
            "${TOOL_PACKAGE}: ${debs}\n${output}")
    endif()
    message(STATUS "package: ${deb_${package}}")
endforeach()

# Warnings count as failures: they are what keeps a package out of Debian. lintian refuses to
# read a package name that is not lowercase, so that is covered too.
execute_process(COMMAND "${LINTIAN}" --fail-on error,warning ${debs}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message(STATUS "lintian: ${result}\n${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lintian rejects ${debs}")
endif()

# Each package's own files, and the other's that it must not hold: both are installed side by side,
# and dpkg refuses a file that two packages hold.
set(WINDOW_OWN "usr/bin/${WINDOW_EXECUTABLE}" "usr/share/man/man1/${WINDOW_EXECUTABLE}.1.gz"
    "usr/share/doc/${WINDOW_PACKAGE}/copyright" "usr/share/doc/${WINDOW_PACKAGE}/changelog.gz")
set(TOOL_OWN "usr/bin/${TOOL_EXECUTABLE}" "usr/share/man/man1/${TOOL_EXECUTABLE}.1.gz"
    "usr/share/doc/${TOOL_PACKAGE}/copyright" "usr/share/doc/${TOOL_PACKAGE}/changelog.gz"
    "usr/share/bash-completion/completions/${TOOL_EXECUTABLE}")
set(WINDOW_OTHER TOOL)
set(TOOL_OTHER WINDOW)
foreach(package IN LISTS packages)
    set(root "${WORK_DIR}/root-${${package}_PACKAGE}")
    set(deb "${deb_${package}}")
    execute_process(COMMAND "${DPKG_DEB}" -x "${deb}" "${root}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "dpkg-deb -x ${deb}: ${result}")
    endif()
    foreach(file IN LISTS ${package}_OWN)
        if(NOT EXISTS "${root}/${file}")
            message(FATAL_ERROR "${${package}_PACKAGE} lacks /${file}")
        endif()
    endforeach()
    file(GLOB_RECURSE files_${package} RELATIVE "${root}" "${root}/*")
    set(other ${${package}_OTHER})
    foreach(file IN LISTS ${other}_OWN)
        if(EXISTS "${root}/${file}")
            message(FATAL_ERROR "${${package}_PACKAGE} holds /${file} of ${${other}_PACKAGE}")
        endif()
    endforeach()

    # The Qt libraries come from the system: a run path left in would make the program look for
    # its libraries in the build tree first.
    set(file "${root}/usr/bin/${${package}_EXECUTABLE}")
    execute_process(COMMAND "${READELF}" -d "${file}"
        RESULT_VARIABLE result OUTPUT_VARIABLE dynamic ERROR_VARIABLE dynamic)
    if(NOT result EQUAL 0 OR dynamic MATCHES "\\((RPATH|RUNPATH)\\)")
        message(FATAL_ERROR "${file} has a run path or no dynamic section:\n${dynamic}")
    endif()

    # man --warnings reports what groff finds questionable, as lintian's own check of the pages
    # does.
    set(file "${root}/usr/share/man/man1/${${package}_EXECUTABLE}.1.gz")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env MANWIDTH=80 LC_ALL=C.UTF-8
            "${MAN}" --warnings -l "${file}"
        RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE errors)
    string(TOUPPER "${${package}_EXECUTABLE}" title)
    if(NOT result EQUAL 0 OR NOT errors STREQUAL "" OR NOT text MATCHES "^${title}\\(1\\)")
        message(FATAL_ERROR "man -l ${file}: ${result}\n${errors}\n${text}")
    endif()
endforeach()
foreach(file IN LISTS files_WINDOW)
    if(file IN_LIST files_TOOL)
        message(FATAL_ERROR "both packages hold /${file}")
    endif()
endforeach()

# What each asks for. The tool needs QtCore only (libqt6core6t64 from Debian 13 on), which
# dpkg-shlibdeps must have found; a build server or a terminal gets no widget stack with it.
set(graphical "widgets|gui|libx11|libxcb|libxkb|libxext|libxrender|libgl1|libglx|libegl|libopengl")
string(APPEND graphical "|wayland|fontconfig|freetype")
execute_process(COMMAND "${DPKG_DEB}" -f "${deb_TOOL}" Depends
    RESULT_VARIABLE result OUTPUT_VARIABLE depends ERROR_VARIABLE depends)
string(TOLOWER "${depends}" depends)
if(NOT result EQUAL 0 OR NOT depends MATCHES "(^|, )libqt6core6(t64)?( |,|\n|$)"
   OR depends MATCHES "${graphical}")
    message(FATAL_ERROR "${TOOL_PACKAGE} depends on '${depends}': QtCore and no graphical library "
        "expected")
endif()
execute_process(COMMAND "${DPKG_DEB}" -f "${deb_WINDOW}" Recommends
    RESULT_VARIABLE result OUTPUT_VARIABLE recommends ERROR_VARIABLE recommends)
if(NOT result EQUAL 0 OR NOT recommends MATCHES "(^|, )${TOOL_PACKAGE}([ ,\n]|$)")
    message(FATAL_ERROR "${WINDOW_PACKAGE} does not recommend ${TOOL_PACKAGE}: '${recommends}'")
endif()
