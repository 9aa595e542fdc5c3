# LogMessage's format is checked at build time (tests/log/check_log_format.sh).
add_test(NAME LogMessageFormatIsChecked
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/log/check_log_format.sh ${CMAKE_CXX_COMPILER} ${CMAKE_SOURCE_DIR}
          ${VANTREL_FORMAT_CHECK_FLAGS})
