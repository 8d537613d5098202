# SPDX-License-Identifier: MIT
# Installs a build into a scratch prefix and checks what a Linux desktop gets: the executable, the
# desktop entry, the theme icon and the AppStream metadata, each valid and pointing at the others,
# the label tool beside the executable, both manual pages (each describing the label file), and the
# tool's bash completion.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -DCONFIG=... -DAPP_ID=... -DEXECUTABLE=...
#         -DTOOL_EXECUTABLE=... -DSOURCE_DIR=... -DCOMPLETION_DIR=... -DMANDIR=... -P <this>
cmake_minimum_required(VERSION 3.21)

foreach(var BUILD_DIR PREFIX APP_ID EXECUTABLE TOOL_EXECUTABLE SOURCE_DIR COMPLETION_DIR MANDIR)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
set(config_args)
if(CONFIG)
    set(config_args --config "${CONFIG}")
endif()
execute_process(
    COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" ${config_args}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(desktop "${PREFIX}/share/applications/${APP_ID}.desktop")
set(metainfo "${PREFIX}/share/metainfo/${APP_ID}.metainfo.xml")
set(icon "${PREFIX}/share/icons/hicolor/64x64/apps/${APP_ID}.png")
set(scalable_icon "${PREFIX}/share/icons/hicolor/scalable/apps/${APP_ID}.svg")
foreach(file "${desktop}" "${metainfo}" "${icon}" "${scalable_icon}")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
endforeach()

# find_program only accepts a file that may be executed.
find_program(installed_exe "${EXECUTABLE}" PATHS "${PREFIX}/bin" NO_DEFAULT_PATH NO_CACHE)
if(NOT installed_exe)
    message(FATAL_ERROR "no executable ${EXECUTABLE} in ${PREFIX}/bin")
endif()

# The tool's default label file is the one beside it, so it must sit beside the calculator, and
# run from there without a display.
find_program(installed_tool "${TOOL_EXECUTABLE}" PATHS "${PREFIX}/bin" NO_DEFAULT_PATH NO_CACHE)
if(NOT installed_tool)
    message(FATAL_ERROR "no executable ${TOOL_EXECUTABLE} beside ${EXECUTABLE} in ${PREFIX}/bin")
endif()
execute_process(COMMAND "${installed_tool}" --version
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "${TOOL_EXECUTABLE} 100\n")
    message(FATAL_ERROR "${installed_tool} --version: ${result} ${output}")
endif()

# The desktop looks the icon up by name in the theme's 64x64 folder: it must really be 64 x 64.
file(READ "${icon}" png_head LIMIT 24 HEX)
string(SUBSTRING "${png_head}" 0 16 png_signature)
string(SUBSTRING "${png_head}" 32 16 png_size)
if(NOT png_signature STREQUAL "89504e470d0a1a0a" OR NOT png_size STREQUAL "0000004000000040")
    message(FATAL_ERROR "${icon} is not a 64 x 64 PNG (header ${png_head})")
endif()

# The scalable folder holds SVG only, and a theme icon is square: the root element must be an SVG
# one with a square view box.
file(READ "${scalable_icon}" svg_text)
string(REGEX MATCH "<svg[^>]*>" svg_root "${svg_text}")
string(REGEX MATCH "viewBox=\"0 0 ([0-9.]+) ([0-9.]+)\"" svg_box "${svg_root}")
set(svg_width "${CMAKE_MATCH_1}")
set(svg_height "${CMAKE_MATCH_2}")
if(NOT svg_root MATCHES "xmlns=\"http://www.w3.org/2000/svg\""
   OR NOT svg_box OR NOT svg_width STREQUAL svg_height)
    message(FATAL_ERROR "${scalable_icon} has no square SVG root element: ${svg_root}")
endif()

# The three files name each other: a mismatch is a menu entry without icon or a dead launcher.
file(STRINGS "${desktop}" exec_line REGEX "^Exec=")
file(STRINGS "${desktop}" icon_line REGEX "^Icon=")
if(NOT exec_line STREQUAL "Exec=${EXECUTABLE}")
    message(FATAL_ERROR "desktop entry runs '${exec_line}', installed is ${EXECUTABLE}")
endif()
if(NOT icon_line STREQUAL "Icon=${APP_ID}")
    message(FATAL_ERROR "desktop entry shows '${icon_line}', installed icon is ${APP_ID}")
endif()
file(READ "${metainfo}" metainfo_text)
foreach(expected "<id>${APP_ID}</id>"
                 "<launchable type=\"desktop-id\">${APP_ID}.desktop</launchable>"
                 "<binary>${EXECUTABLE}</binary>")
    string(FIND "${metainfo_text}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "metainfo lacks ${expected}")
    endif()
endforeach()

find_program(desktop_file_validate desktop-file-validate NO_CACHE)
find_program(appstreamcli appstreamcli NO_CACHE)
if(NOT desktop_file_validate OR NOT appstreamcli)
    message(FATAL_ERROR "desktop-file-validate and appstreamcli are needed (scripts/setup.sh --tests)")
endif()

# desktop-file-validate exits 0 on warnings; only its hints are let through.
execute_process(COMMAND "${desktop_file_validate}" "${desktop}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message(STATUS "desktop-file-validate: ${result}\n${output}")
if(NOT result EQUAL 0 OR output MATCHES "(error|warning):")
    message(FATAL_ERROR "desktop-file-validate rejects ${desktop}")
endif()

execute_process(COMMAND "${appstreamcli}" validate --no-net --no-color "${metainfo}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message(STATUS "appstreamcli validate: ${result}\n${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli rejects ${metainfo}")
endif()

# The AppStream data names both programs and the licence, as the package does.
foreach(expected "<binary>${TOOL_EXECUTABLE}</binary>" "<project_license>MIT</project_license>"
                 "<screenshot type=\"default\">")
    string(FIND "${metainfo_text}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "metainfo lacks ${expected}")
    endif()
endforeach()

# Both manual pages render without a complaint from groff, and the tool's names every command of
# its --help: a command missing there would mean the page no longer follows the tool.
find_program(man man NO_CACHE)
if(NOT man)
    message(FATAL_ERROR "man is needed (scripts/setup.sh --tests)")
endif()
execute_process(COMMAND "${installed_tool}" --help OUTPUT_VARIABLE tool_help)
# The command list: from the line "Commands ..." to the next empty line.
string(FIND "${tool_help}" "\nCommands" at)
string(SUBSTRING "${tool_help}" ${at} -1 command_list)
string(FIND "${command_list}" "\n\n" at)
string(SUBSTRING "${command_list}" 0 ${at} command_list)
string(REGEX MATCHALL "\n  [a-z][a-z0-9-]* " commands "${command_list}")
list(TRANSFORM commands STRIP)
if(NOT commands)
    message(FATAL_ERROR "${TOOL_EXECUTABLE} --help lists no commands:\n${tool_help}")
endif()
foreach(page "${EXECUTABLE}" "${TOOL_EXECUTABLE}")
    set(file "${PREFIX}/${MANDIR}/man1/${page}.1.gz")
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "not installed: ${file}")
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env MANWIDTH=200 LC_ALL=C.UTF-8
            "${man}" --warnings -l "${file}"
        RESULT_VARIABLE result OUTPUT_VARIABLE text_${page} ERROR_VARIABLE errors)
    if(NOT result EQUAL 0 OR NOT errors STREQUAL "")
        message(FATAL_ERROR "man -l ${file}: ${result}\n${errors}")
    endif()
endforeach()
foreach(command IN LISTS commands)
    if(NOT text_${TOOL_EXECUTABLE} MATCHES "\n   ${command} [^\n]*\n       [A-Z]")
        message(FATAL_ERROR "the manual page of ${TOOL_EXECUTABLE} describes no command "
            "${command}:\n${text_${TOOL_EXECUTABLE}}")
    endif()
endforeach()
# Both describe the label file, its layout and limits, under FILES, and nowhere but there.
foreach(page "${EXECUTABLE}" "${TOOL_EXECUTABLE}")
    string(FIND "${text_${page}}" "\nFILES\n" files_at)
    string(FIND "${text_${page}}" "\nSEE ALSO\n" see_also_at)
    if(files_at EQUAL -1 OR see_also_at LESS files_at)
        message(FATAL_ERROR "the manual page of ${page} has no FILES section:\n${text_${page}}")
    endif()
    math(EXPR files_length "${see_also_at} - ${files_at}")
    string(SUBSTRING "${text_${page}}" ${files_at} ${files_length} files)
    foreach(expected "K732-118.ini" "\n   Layout\n" "[bitlabels]" "\n   Rules\n" "\n   Limits\n"
                     "16 MiB")
        string(FIND "${files}" "${expected}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "the FILES section of ${page}(1) lacks '${expected}':\n${files}")
        endif()
    endforeach()
endforeach()
if(NOT text_${EXECUTABLE} MATCHES "SEE ALSO\n +${TOOL_EXECUTABLE}\\(1\\)")
    message(FATAL_ERROR "the manual page of ${EXECUTABLE} does not point to ${TOOL_EXECUTABLE}")
endif()

# The completion, run in bash as bash-completion runs it, on the installed tool.
set(bash_completion /usr/share/bash-completion/bash_completion)
find_program(bash bash NO_CACHE)
if(NOT bash OR NOT EXISTS "${bash_completion}")
    if(DEFINED ENV{CI})
        message(FATAL_ERROR "bash and bash-completion are needed (scripts/setup.sh --tests)")
    endif()
    message(STATUS "no bash-completion: the label tool's completion is not checked")
    return()
endif()
execute_process(COMMAND "${bash}" "${SOURCE_DIR}/tests/check_completion.sh" "${bash_completion}"
        "${PREFIX}/${COMPLETION_DIR}/${TOOL_EXECUTABLE}" "${PREFIX}/bin"
        "${SOURCE_DIR}/examples/K732-118.ini"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the bash completion of ${TOOL_EXECUTABLE} fails: ${result}")
endif()
