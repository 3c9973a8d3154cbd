# One test executable per component, registered with CTest in one place.
#   dkq_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [RUNS <programs...>]
#                [TIMEOUT <s>] [GUI])
# RUNS names the programs the test starts: building the test builds them, and
# the test finds each through its environment variable (DKQSIM, DKQ_TOOL,
# WEBMON, DKQ_COLLECTOR); a test that starts no program waits for none.
# GUI tests run offscreen and are left out of the sanitizer run by the label "gui".
find_package(GTest REQUIRED)

set(dkq_program_variables dkqsim=DKQSIM dkq=DKQ_TOOL webmon=WEBMON dkq-collector=DKQ_COLLECTOR)

function(dkq_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;RUNS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} dkq_test_support GTest::gtest GTest::gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(labels "")
  if(T_GUI)
    set(labels gui)
  endif()
  set(environment "QT_QPA_PLATFORM=offscreen")
  foreach(program IN LISTS T_RUNS)
    set(variable "")
    foreach(pair IN LISTS dkq_program_variables)
      if(pair MATCHES "^${program}=(.*)$")
        set(variable ${CMAKE_MATCH_1})
      endif()
    endforeach()
    if(NOT variable OR NOT TARGET ${program})
      message(FATAL_ERROR "${T_NAME} runs ${program}, which is not a program of this build")
    endif()
    list(APPEND environment "${variable}=$<TARGET_FILE:${program}>")
    add_dependencies(${T_NAME} ${program})
  endforeach()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${labels}"
    ENVIRONMENT "${environment}")
endfunction()
