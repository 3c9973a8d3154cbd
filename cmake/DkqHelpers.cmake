# One test executable per component, registered with CTest in one place.
#   dkq_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [TIMEOUT <s>] [GUI])
# GUI tests run offscreen and are left out of the sanitizer run by the label "gui".
find_package(GTest REQUIRED)

function(dkq_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
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
  foreach(tool_var IN ITEMS "DKQSIM=dkqsim" "DKQ_TOOL=dkq" "WEBMON=webmon"
                            "DKQ_COLLECTOR=dkq-collector")
    string(REPLACE "=" ";" pair "${tool_var}")
    list(GET pair 0 variable)
    list(GET pair 1 tool)
    if(TARGET ${tool})
      list(APPEND environment "${variable}=$<TARGET_FILE:${tool}>")
      add_dependencies(${T_NAME} ${tool})
    endif()
  endforeach()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    LABELS "${labels}"
    ENVIRONMENT "${environment}")
endfunction()
