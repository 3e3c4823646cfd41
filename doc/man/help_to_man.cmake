# Makes a section-1 manual page from a program's own --help text, so that the
# two cannot drift apart: the page is the help text, set as it prints, under
# a NAME line and around it what the help does not say (SEE ALSO).
#
#   cmake -DPROGRAM=path -DNAME=kestrel -DSUMMARY_FILE=kestrel.summary
#         [-DCOMMAND_HELP=ON] -DVERSION=0.1.0 -DOUT=kestrel.1
#         -P help_to_man.cmake
#
# SUMMARY_FILE: the NAME line's description on its first line; further lines,
# if any, are the SEE ALSO list. COMMAND_HELP: the program has a "help
# COMMAND" of its own: every command that a "...Commands:" section of the
# help lists gets its "PROGRAM help COMMAND" text under a heading, and so do
# the commands such a text lists in turn ("help remote ls").
cmake_minimum_required(VERSION 3.25)

foreach(variable PROGRAM NAME SUMMARY_FILE VERSION OUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "help_to_man.cmake: ${variable} is not set")
  endif()
endforeach()

# Runs PROGRAM with ARGS (a list); the help text, or a fatal error.
function(help_text args out)
  execute_process(COMMAND ${PROGRAM} ${args} RESULT_VARIABLE result OUTPUT_VARIABLE text
                  ERROR_VARIABLE error_text)
  if(NOT result EQUAL 0 OR text STREQUAL "")
    message(FATAL_ERROR "${PROGRAM} ${args}: exit ${result}, no help text\n${error_text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# roff: a backslash is \e; a line starting with . or ' is shielded by \&.
function(roff_literal text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(STRINGS ${SUMMARY_FILE} summary_lines)
list(POP_FRONT summary_lines summary)
string(TOUPPER "${NAME}" title)

set(page ".TH ${title} 1 \"\" \"kestrel ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${NAME} \\- ${summary}\n.SH DESCRIPTION\n")
string(APPEND page "This page is the text that \\fB${NAME} --help\\fR prints.\n")

help_text("--help" main_help)
roff_literal("${main_help}" main_help)
string(APPEND page ".PP\n.nf\n${main_help}.fi\n")

# The command words that the "...Commands:" section of a help text lists, one
# per line that starts with two spaces and a word; the words of `parent`
# ("remote") in front of them are dropped.
function(listed_commands text parent out)
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(in_section OFF)
  set(commands "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[A-Za-z ]*[Cc]ommands:$")
      set(in_section ON)
    elseif(line STREQUAL "")
      set(in_section OFF)
    elseif(in_section AND line MATCHES "^  ([a-z][a-z0-9-]*( [a-z][a-z0-9-]*)?)")
      set(words "${CMAKE_MATCH_1}")
      if(NOT parent STREQUAL "" AND words MATCHES "^${parent} ([a-z0-9-]+)$")
        list(APPEND commands "${CMAKE_MATCH_1}")
      elseif(words MATCHES "^([a-z0-9-]+)")
        list(APPEND commands "${CMAKE_MATCH_1}")
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES commands)
  set(${out} "${commands}" PARENT_SCOPE)
endfunction()

# Appends "help PARENT COMMAND" of every command listed in `text` to `page`,
# and, one level down, of the commands those texts list.
function(append_command_help text parent depth page_var)
  set(page "${${page_var}}")
  listed_commands("${text}" "${parent}" commands)
  foreach(command IN LISTS commands)
    set(words ${parent} ${command})
    help_text("help;${words}" command_text)
    list(JOIN words " " heading)
    roff_literal("${command_text}" shown)
    string(APPEND page ".SS ${NAME} ${heading}\n.nf\n${shown}.fi\n")
    if(depth LESS 1)
      listed_commands("${command_text}" "${heading}" deeper)
      if(deeper)
        append_command_help("${command_text}" "${heading}" 1 page)
      endif()
    endif()
  endforeach()
  set(${page_var} "${page}" PARENT_SCOPE)
endfunction()

if(COMMAND_HELP)
  help_text("--help" plain_help)
  string(APPEND page ".SH COMMANDS\nThe texts that \\fB${NAME} help\\fR \\fICOMMAND\\fR prints.\n")
  append_command_help("${plain_help}" "" 0 page)
endif()

if(summary_lines)
  list(JOIN summary_lines ",\n" see_also)
  string(APPEND page ".SH SEE ALSO\n${see_also}\n")
endif()

file(WRITE ${OUT} "${page}")
