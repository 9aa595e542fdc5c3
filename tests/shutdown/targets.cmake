# Stand-ins for Word and Outlook: one program built under the image names that the process
# closer looks for, each in a folder of its own (on Windows the two winword names are one file).
foreach(helper "lower;winword;.exe" "upper;WINWORD;.EXE" "outlook;OUTLOOK;.EXE")
  list(GET helper 0 helper_dir)
  list(GET helper 1 helper_name)
  list(GET helper 2 helper_suffix)
  set(helper_target shutdown_fake_app_${helper_dir})
  add_executable(${helper_target} ${CMAKE_CURRENT_SOURCE_DIR}/shutdown/helpers/fake_app.cpp)
  target_link_libraries(${helper_target} PRIVATE vantrel_core)
  set_target_properties(${helper_target} PROPERTIES
    OUTPUT_NAME ${helper_name}
    SUFFIX ${helper_suffix}
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/fake_apps/${helper_dir})
  add_dependencies(${target} ${helper_target})
endforeach()
