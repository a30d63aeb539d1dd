# Plays two rounds from a file of keys: the game must end with status 0
# after asking twice whether to play again.
execute_process(COMMAND ${EMULATOR} ${GAME} INPUT_FILE ${SESSION} OUTPUT_VARIABLE screen RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the game ended with status ${status}")
endif()
string(REGEX MATCHALL "Enter Y to play again" replay_prompts "${screen}")
list(LENGTH replay_prompts rounds)
if(NOT rounds EQUAL 2)
  message(FATAL_ERROR "${rounds} rounds played instead of 2:\n${screen}")
endif()
message(STATUS "2 rounds played, status 0")
