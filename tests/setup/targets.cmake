# The program that runs one installer action in a process of its own, the stand-in that
# PostInstall starts as "outlook", the stand-in Outlook from the shutdown tests, Vantrel.dll
# whose exports are called, a small package (wixl) that gives a real installation handle and one
# that runs Uninstall inside an installation's script.
# The runner carries the DLL's resources, as Vantrel.dll does for its actions (the prompt's text).
add_executable(setup_action_runner ${CMAKE_CURRENT_SOURCE_DIR}/setup/helpers/action_runner.cpp
  ${CMAKE_SOURCE_DIR}/src/server/res/Vantrel.rc)
target_include_directories(setup_action_runner PRIVATE ${CMAKE_SOURCE_DIR}/src/server/res)
target_link_libraries(setup_action_runner PRIVATE vantrel_core msi)
set_target_properties(setup_action_runner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

add_executable(setup_outlook_standin ${CMAKE_CURRENT_SOURCE_DIR}/setup/helpers/outlook_standin.cpp)
set_target_properties(setup_outlook_standin PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/setup)

find_program(VANTREL_WIXL wixl REQUIRED)
set(VANTREL_TEST_PACKAGE ${CMAKE_BINARY_DIR}/bin/setup/vantrel_test.msi)
add_custom_command(
  OUTPUT ${VANTREL_TEST_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/setup
  COMMAND ${VANTREL_WIXL} -a ${VANTREL_ARCH} -o ${VANTREL_TEST_PACKAGE} ${CMAKE_CURRENT_SOURCE_DIR}/setup/helpers/test_package.wxs
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/setup/helpers/test_package.wxs
  COMMENT "Building the test package vantrel_test.msi"
  VERBATIM)
# The package that runs Vantrel.dll's Uninstall inside an installation's script.
set(VANTREL_SCRIPT_TEST_PACKAGE ${CMAKE_BINARY_DIR}/bin/setup/vantrel_script_test.msi)
add_custom_command(
  OUTPUT ${VANTREL_SCRIPT_TEST_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/setup
  COMMAND ${VANTREL_WIXL} -a ${VANTREL_ARCH} -o ${VANTREL_SCRIPT_TEST_PACKAGE} ${CMAKE_CURRENT_SOURCE_DIR}/setup/helpers/script_package.wxs
  WORKING_DIRECTORY $<TARGET_FILE_DIR:Vantrel>
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/setup/helpers/script_package.wxs Vantrel
  COMMENT "Building the test package vantrel_script_test.msi"
  VERBATIM)
add_custom_target(setup_test_package DEPENDS ${VANTREL_TEST_PACKAGE} ${VANTREL_SCRIPT_TEST_PACKAGE})
# The tests open the test package in their own process too.
target_link_libraries(${target} PRIVATE msi)

add_dependencies(${target} setup_action_runner setup_outlook_standin shutdown_fake_app_outlook Vantrel
  setup_test_package)
