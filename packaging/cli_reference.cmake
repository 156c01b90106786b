# Reads prowlnet's commands, their options and the values those take from its --help, and writes
# the commands' section of its man page (a help2man include file) and its bash completion, so
# that both follow the program.
#
#   cmake -DPROGRAM=prowlnet -DMAN_INCLUDE=FILE -DCOMPLETION=FILE -P cli_reference.cmake

# Semicolons of the help text stand in as the unit separator, since CMake lists split on them.
string(ASCII 31 semicolon)

# The lines of PROGRAM [SUBCOMMAND] --help.
function(help_lines out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed: ${status}")
  endif()
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The entries of one section of a help text ("Options", "Subcommands"): each entry's line.
function(section_entries out lines section)
  set(inside FALSE)
  set(entries)
  foreach(line IN LISTS lines)
    if(line STREQUAL "${section}:")
      set(inside TRUE)
    elseif(inside AND line MATCHES "^  [^ ]")
      list(APPEND entries "${line}")
    elseif(inside AND NOT line MATCHES "^ ")
      set(inside FALSE)
    endif()
  endforeach()
  set(${out} "${entries}" PARENT_SCOPE)
endfunction()

# Bash case branches for a command's options: one that lists them, and one for each option with
# a fixed set of values ("{csv->2,json->1}" in its help) or with a free value (nothing offered).
function(option_branches out command lines)
  section_entries(entries "${lines}" Options)
  set(names)
  set(branches "")
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "^  ([^ ]+)( [A-Z][A-Z]+)?" _ "${entry}")  # a type name (TEXT, FLOAT) takes a value
    string(REPLACE "," ";" option_names "${CMAKE_MATCH_1}")
    list(APPEND names ${option_names})
    if(NOT CMAKE_MATCH_2)
      continue()
    endif()
    set(values)
    if(entry MATCHES "{([^}]*)}")
      string(REPLACE "," ";" pairs "${CMAKE_MATCH_1}")
      foreach(pair IN LISTS pairs)
        string(REGEX REPLACE "->.*" "" value "${pair}")
        list(APPEND values "${value}")
      endforeach()
      list(SORT values)
    endif()
    list(JOIN values " " values)
    foreach(name IN LISTS option_names)
      string(APPEND branches "    \"${command}:${name}\") words=\"${values}\" ;;\n")
    endforeach()
  endforeach()
  set(${out} "${branches}" PARENT_SCOPE)
  set(${out}_names "${names}" PARENT_SCOPE)
endfunction()

# The help of a command as roff, verbatim.
function(roff_verbatim out lines)
  set(text ".nf\n")
  foreach(line IN LISTS lines)
    string(REPLACE "${semicolon}" ";" line "${line}")
    string(REPLACE "\\" "\\e" line "${line}")
    string(REGEX REPLACE "^([.'])" "\\\\&\\1" line "${line}")
    string(APPEND text "${line}\n")
  endforeach()
  set(${out} "${text}.fi\n" PARENT_SCOPE)
endfunction()

help_lines(top)
section_entries(command_entries "${top}" Subcommands)
set(commands)
foreach(entry IN LISTS command_entries)
  string(REGEX MATCH "^  ([^ ]+)" _ "${entry}")
  list(APPEND commands "${CMAKE_MATCH_1}")
endforeach()
if(NOT commands)
  message(FATAL_ERROR "no commands in ${PROGRAM} --help")
endif()

option_branches(top_branches "" "${top}")
set(top_words ${top_branches_names} ${commands})
list(SORT top_words)
list(JOIN top_words " " top_words)
set(value_branches "${top_branches}")
set(command_branches "")
set(manual "[COMMANDS]\n")
foreach(command IN LISTS commands)
  help_lines(lines ${command})
  option_branches(branches ${command} "${lines}")
  string(APPEND value_branches "${branches}")
  set(words ${branches_names})
  list(SORT words)
  list(JOIN words " " words)
  string(APPEND command_branches "    ${command}:*) words=\"${words}\" ;;\n")
  roff_verbatim(help "${lines}")
  string(APPEND manual ".SS \"prowlnet ${command}\"\n${help}")
endforeach()

file(WRITE ${MAN_INCLUDE} "${manual}")
file(WRITE ${COMPLETION} "# bash completion for prowlnet: its commands, their options and the values of those, as its
# --help listed them when it was built.
_prowlnet() {
  local current=\${COMP_WORDS[COMP_CWORD]} previous=\${COMP_WORDS[COMP_CWORD-1]} command= words i
  for ((i = 1; i < COMP_CWORD; i++)); do
    [[ \${COMP_WORDS[i]} == -* ]] || { command=\${COMP_WORDS[i]}; break; }
  done
  case \"\$command:\$previous\" in
${value_branches}    :*) words=\"${top_words}\" ;;
${command_branches}    *) words= ;;
  esac
  mapfile -t COMPREPLY < <(compgen -W \"\$words\" -- \"\$current\")
}
complete -F _prowlnet prowlnet
")
