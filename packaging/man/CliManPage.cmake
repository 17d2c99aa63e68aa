# Makes the manual page of brontaflex-cli from the program's own help, so the
# page says what the program says: help2man turns the overview (--help) into
# the page, and each command's --help becomes a subsection of COMMANDS.
# Variables: CLI (the built program), HELP2MAN, VERSION, NAME (the page's
# one-line description), EXTRA (hand-written sections), WORK_DIR, OUTPUT.

cmake_minimum_required(VERSION 3.25)

# Text for a roff no-fill block: backslashes, minus signs and lines that
# would start a request kept as they are printed.
function(roff_literal text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${CLI} --help OUTPUT_VARIABLE overview COMMAND_ERROR_IS_FATAL ANY)
# The commands are the indented first words of the "Commands:" block.
string(REGEX MATCH "\nCommands:\n(  [^\n]*\n)+" command_block "${overview}")
string(REGEX MATCHALL "\n  [^ \n]+" commands "${command_block}")
if(NOT commands)
  message(FATAL_ERROR "${CLI} --help lists no commands")
endif()

set(sections "[COMMANDS]\n")
foreach(command IN LISTS commands)
  string(STRIP "${command}" command)
  execute_process(COMMAND ${CLI} ${command} --help OUTPUT_VARIABLE help
                  COMMAND_ERROR_IS_FATAL ANY)
  roff_literal("${help}" help)
  string(APPEND sections ".SS ${command}\n.nf\n${help}.fi\n")
endforeach()
file(READ ${EXTRA} extra)
file(WRITE ${WORK_DIR}/commands.h2m "${sections}${extra}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --version-string=${VERSION} --name=${NAME}
          --include=${WORK_DIR}/commands.h2m --output=${OUTPUT} ${CLI}
  COMMAND_ERROR_IS_FATAL ANY)
