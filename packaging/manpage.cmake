# SPDX-License-Identifier: MIT
# Writes the label tool's manual page from its own --help and each command's --help, so that the
# page says what the built tool says: a command added to the tool's list shows up here unasked.
# The FILES section ends with the label file's description, the roff text LABEL_FILE, which the
# calculator's page holds too.
# Run as: cmake -DTOOL=... -DOUTPUT=... -DVERSION=... -DDATE=... -DLABEL_FILE=... [-DGZIP=...]
#         -P <this>
cmake_minimum_required(VERSION 3.21)

foreach(var TOOL OUTPUT VERSION DATE LABEL_FILE)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()
get_filename_component(tool_name "${TOOL}" NAME)
# CMake lists are separated by ";", which the help text uses too: it stands in for it meanwhile.
string(ASCII 30 semicolon)

function(run_help out)
    # Unwrapped: roff fills the lines itself.
    execute_process(COMMAND "${CMAKE_COMMAND}" -E env COLUMNS=100000 "${TOOL}" ${ARGN} --help
        RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE errors)
    if(NOT result EQUAL 0 OR text STREQUAL "")
        message(FATAL_ERROR "${tool_name} ${ARGN} --help: ${result} ${errors}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Text that roff must not read as its own: backslashes, a leading dot or quote, and hyphens, which
# groff would otherwise set as a typographic hyphen that cannot be pasted into a shell.
function(roff_escape out text)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "${semicolon}" ";" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    string(REPLACE "…" "..." text "${text}")
    string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A synopsis or an option's name: options in bold, placeholders in italics.
function(roff_term out text)
    roff_escape(text "${text}")
    string(REGEX REPLACE "<([A-Za-z_]+)>" "\\\\fI\\1\\\\fR" text "${text}")
    string(REGEX REPLACE "(^|[][ |,])((\\\\-)+[a-z][a-z0-9\\\\-]*)" "\\1\\\\fB\\2\\\\fR" text
        "${text}")
    string(REGEX REPLACE "(^|[][ |])([A-Z][A-Z_]+)" "\\1\\\\fI\\2\\\\fR" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Splits QCommandLineParser's help into lines, keeping empty ones (they end paragraphs and lists).
function(help_lines out text)
    string(REPLACE ";" "${semicolon}" text "${text}")
    string(REGEX REPLACE "\n$" "" text "${text}")
    string(REPLACE "\n" ";" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One "  term   description" entry per .TP; deeper-indented lines continue the description.
function(roff_list out)
    set(roff "")
    set(open FALSE)
    foreach(line IN LISTS ARGN)
        if(line MATCHES "^  ([^ ]+( [^ ]+)*)  +([^ ].*)$")
            roff_term(term "${CMAKE_MATCH_1}")
            roff_escape(desc "${CMAKE_MATCH_3}")
            string(APPEND roff ".TP\n${term}\n${desc}\n")
            set(open TRUE)
        elseif(line MATCHES "^  ([^ ].*)$")
            roff_term(term "${CMAKE_MATCH_1}")
            string(APPEND roff ".TP\n${term}\n")
            set(open TRUE)
        elseif(open AND line MATCHES "^ +([^ ].*)$")
            roff_escape(desc "${CMAKE_MATCH_1}")
            string(APPEND roff "${desc}\n")
        endif()
    endforeach()
    set(${out} "${roff}" PARENT_SCOPE)
endfunction()

# Cuts a command's help into the description (after the Usage line) and its Options and Arguments
# lists.
function(split_help prefix text)
    help_lines(lines "${text}")
    set(part description)
    set(description "")
    set(options "")
    set(arguments "")
    set(first TRUE)
    foreach(line IN LISTS lines)
        if(first)
            set(first FALSE)
            if(NOT line MATCHES "^Usage: ")
                message(FATAL_ERROR "no Usage line in: ${text}")
            endif()
        elseif(line STREQUAL "Options:")
            set(part options)
        elseif(line STREQUAL "Arguments:")
            set(part arguments)
        else()
            list(APPEND ${part} "${line}")
        endif()
    endforeach()
    foreach(part description options arguments)
        set(${prefix}_${part} "${${part}}" PARENT_SCOPE)
    endforeach()
endfunction()

# Paragraphs of plain text, an empty line between two of them. Given by the list's name: expanded
# into arguments, its empty lines would be dropped.
function(roff_paragraphs out list)
    set(roff "")
    set(pending FALSE)
    foreach(line IN LISTS ${list})
        if(line STREQUAL "")
            set(pending TRUE)
        else()
            if(pending AND NOT roff STREQUAL "")
                string(APPEND roff ".PP\n")
            endif()
            set(pending FALSE)
            roff_escape(text "${line}")
            string(APPEND roff "${text}\n")
        endif()
    endforeach()
    set(${out} "${roff}" PARENT_SCOPE)
endfunction()

# Its own comments are left out.
file(READ "${LABEL_FILE}" label_file_roff)
string(REGEX REPLACE "^(\\.\\\\\"[^\n]*\n)+" "" label_file_roff "${label_file_roff}")

run_help(main_help)
split_help(main "${main_help}")

# The tool's description: a one-line summary (the page's NAME), then free text that holds the
# command list, "  NAME ARGS   summary" under a line that starts with "Commands".
list(POP_FRONT main_description summary)
string(REGEX REPLACE "\\.$" "" summary "${summary}")
string(SUBSTRING "${summary}" 0 1 head)
string(SUBSTRING "${summary}" 1 -1 tail)
string(TOLOWER "${head}" head)
set(intro "${summary}." "")
set(commands "")
set(in_commands FALSE)
foreach(line IN LISTS main_description)
    if(line MATCHES "^Commands")
        set(in_commands TRUE)
    elseif(in_commands AND line MATCHES "^  ([a-z][a-z0-9-]*)( +(.*))?$")
        set(name "${CMAKE_MATCH_1}")
        string(REGEX REPLACE "  +.*" "" synopsis "${CMAKE_MATCH_3}")
        list(APPEND commands "${name}")
        set(synopsis_${name} "${synopsis}")
    elseif(in_commands AND line MATCHES "^ ")
        # A summary wrapped onto a line of its own: the command's own --help says more.
    else()
        set(in_commands FALSE)
        list(APPEND intro "${line}")
    endif()
endforeach()
if(NOT commands)
    message(FATAL_ERROR "${tool_name} --help lists no commands:\n${main_help}")
endif()

roff_escape(name_roff "${tool_name}")
roff_escape(summary_roff "${head}${tail}")
string(TOUPPER "${name_roff}" title)
set(page ".\\\" Generated from ${tool_name} --help by packaging/manpage.cmake: edit the tool's help.
.TH ${title} 1 ${DATE} \"K732\\-118 ${VERSION}\" \"User Commands\"
.SH NAME
${name_roff} \\- ${summary_roff}
.SH SYNOPSIS
")
foreach(name IN LISTS commands)
    roff_term(synopsis "${synopsis_${name}}")
    roff_escape(command "${name}")
    string(APPEND page ".B ${name_roff} ${command}\n${synopsis}\n.br\n")
endforeach()
string(APPEND page ".B ${name_roff}\n\\fB\\-\\-help\\fR | \\fB\\-\\-version\\fR\n")
roff_paragraphs(intro_roff intro)
string(APPEND page ".SH DESCRIPTION\n${intro_roff}.SH COMMANDS\n")
foreach(name IN LISTS commands)
    run_help(command_help ${name})
    split_help(command "${command_help}")
    roff_term(synopsis "${synopsis_${name}}")
    roff_escape(command "${name}")
    roff_paragraphs(description command_description)
    roff_list(options ${command_options})
    roff_list(arguments ${command_arguments})
    string(APPEND page ".SS \\fB${command}\\fR ${synopsis}\n${description}")
    if(NOT options STREQUAL "")
        string(APPEND page ".PP\nOptions:\n.RS\n${options}.RE\n")
    endif()
    if(NOT arguments STREQUAL "")
        string(APPEND page ".PP\nArguments:\n.RS\n${arguments}.RE\n")
    endif()
endforeach()
roff_list(main_options_roff ${main_options})
string(APPEND page ".SH OPTIONS\n${main_options_roff}")
string(APPEND page ".SH FILES
.TP
\\fIK732\\-118.ini\\fR
The label file, in the directory that holds the executable (for example
\\fI/usr/bin/K732\\-118.ini\\fR): the calculator's label file when both programs are installed
side by side.
Only \\fBimport\\-svd\\fR writes, and only with \\fB\\-\\-into\\fR or \\fB\\-\\-output\\fR.
${label_file_roff}.SH SEE ALSO
.BR K732\\-118 (1)
")

file(WRITE "${OUTPUT}" "${page}")
if(GZIP)
    # No name or time stamp in the header: the same page gives the same bytes.
    execute_process(COMMAND "${GZIP}" -n -9 -f -k "${OUTPUT}" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${GZIP} ${OUTPUT}: ${result}")
    endif()
endif()
