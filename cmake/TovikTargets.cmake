# Helpers shared by every directory's CMakeLists.txt.

# tovik_warnings(target): our own code is warning-free.
function(tovik_warnings target)
  target_compile_options(${target} PRIVATE ${TOVIK_WARNINGS})
endfunction()

# tovik_wine_test(NAME name SOURCES ... LIBS ... [SERIAL] [TIMEOUT s])
# A gtest program built for Windows and run by CTest under Wine (through the
# emulator wrapper). One CTest entry per program keeps Wine start-ups few.
function(tovik_wine_test)
  cmake_parse_arguments(T "SERIAL" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  tovik_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_color=no)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
