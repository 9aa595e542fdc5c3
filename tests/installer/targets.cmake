# The installer tests install build/Vantrel-<version>-<arch>.msi and, for the upgrades, an older
# package built here around a Vantrel.dll of version 0.9.0.0 and another package of this version,
# and for a rollback one of this version that fails.
set(VANTREL_PREVIOUS_VERSION 0.9.0.0)
vantrel_product_version(${VANTREL_PREVIOUS_VERSION} previous_product_version)
set(VANTREL_PREVIOUS_PACKAGE_NAME Vantrel-${previous_product_version}-${VANTREL_ARCH}.msi)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/previous ${CMAKE_BINARY_DIR}/tests/installer/previous)
# A second build of this version's package around the same DLL: another product code, as every
# build of the package gets.
get_filename_component(package_name ${VANTREL_PACKAGE} NAME)
set(VANTREL_SAME_VERSION_PACKAGE ${CMAKE_BINARY_DIR}/same_version/${package_name})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/same_version)
vantrel_build_package(${VANTREL_SAME_VERSION_PACKAGE} ${PROJECT_VERSION} ${VANTREL_RELEASE_DLL})
add_custom_target(vantrel_same_version_package DEPENDS ${VANTREL_SAME_VERSION_PACKAGE})
add_dependencies(vantrel_same_version_package vantrel_package)
# This version's package with a deferred action after the elevated Install that fails (a program
# that ends with exit code 1; 1058 = 0x400 in the script + 34 program run in a folder), so that
# the installation is rolled back.
set(VANTREL_FAILING_PACKAGE ${CMAKE_BINARY_DIR}/failing/${package_name})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/failing)
vantrel_build_package(${VANTREL_FAILING_PACKAGE} ${PROJECT_VERSION} ${VANTREL_RELEASE_DLL}
  -q "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('VantrelTestFailure', 1058, 'TARGETDIR', '\"[System64Folder]cmd.exe\" /c exit 1')"
  -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('VantrelTestFailure', 6599)")
add_custom_target(vantrel_failing_package DEPENDS ${VANTREL_FAILING_PACKAGE})
add_dependencies(vantrel_failing_package vantrel_same_version_package)
# This version's package with two failures that a run switches on by a property: an immediate
# program action between InstallValidate and InstallInitialize (34 = program run in a folder,
# before the script starts: nothing can be rolled back yet) when VANTREL_TEST_FAIL_EARLY is set,
# and a deferred one in the script's last place (as above) when VANTREL_TEST_FAIL_LATE is set,
# which also fails a removal.
set(VANTREL_TEST_FAILURES_PACKAGE ${CMAKE_BINARY_DIR}/test_failures/${package_name})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/test_failures)
vantrel_build_package(${VANTREL_TEST_FAILURES_PACKAGE} ${PROJECT_VERSION} ${VANTREL_RELEASE_DLL}
  -q "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('VantrelTestFailEarly', 34, 'TARGETDIR', '\"[System64Folder]cmd.exe\" /c exit 1')"
  -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('VantrelTestFailEarly', 'VANTREL_TEST_FAIL_EARLY', 1450)"
  -q "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('VantrelTestFailLate', 1058, 'TARGETDIR', '\"[System64Folder]cmd.exe\" /c exit 1')"
  -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('VantrelTestFailLate', 'VANTREL_TEST_FAIL_LATE', 6599)")
add_custom_target(vantrel_test_failures_package DEPENDS ${VANTREL_TEST_FAILURES_PACKAGE})
add_dependencies(vantrel_test_failures_package vantrel_failing_package)
# The Outlook stand-in of the setup tests shows PostInstall starting "outlook".
add_dependencies(${target} vantrel_package vantrel_previous_package vantrel_same_version_package
  vantrel_failing_package vantrel_test_failures_package outlook_sim
  setup_outlook_standin)
target_compile_definitions(${target} PRIVATE
  VANTREL_PACKAGE_NAME="${package_name}"
  VANTREL_PREVIOUS_PACKAGE_NAME="${VANTREL_PREVIOUS_PACKAGE_NAME}"
  VANTREL_UPGRADE_CODE="${VANTREL_UPGRADE_CODE}"
  VANTREL_VERSION_TEXT="${PROJECT_VERSION}")
# The registry snapshot and the expected registration of the server tests are the reference.
target_sources(${target} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../server/server_test_support.cpp)

# Native checks of the build's outputs (run by the shell, not under Wine).
find_program(VANTREL_OBJDUMP ${VANTREL_TOOL_PREFIX}-objdump REQUIRED)
add_test(NAME ReleaseDllIsStrippedWithADebugLink
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_release_dll.sh ${VANTREL_OBJDUMP} ${VANTREL_RELEASE_DLL})
add_test(NAME SigningWithAGivenCertificate
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_signing.sh ${CMAKE_SOURCE_DIR}/scripts/sign.sh
          ${VANTREL_RELEASE_DLL} ${VANTREL_PACKAGE})
# The README's administrators section names the package of the project's version.
get_filename_component(package_name ${VANTREL_PACKAGE} NAME)
add_test(NAME ReadmeNamesThisVersionsPackage COMMAND grep -q -F ${package_name} ${CMAKE_SOURCE_DIR}/README.md)
# The Start-menu actions run elevated inside the installation's script and PostInstall in the
# client process after the installation (Wine's msiexec runs every action with full rights, so
# only the package's tables can show it).
find_program(VANTREL_MSIINFO msiinfo REQUIRED)
add_test(NAME PackageActionsRunWithTheRightToken
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_action_sequence.sh ${VANTREL_MSIINFO} ${VANTREL_PACKAGE})
# A quiet run closes no Outlook through the Restart Manager and restarts no machine.
add_test(NAME QuietRunsCloseNothingAndRestartNothing
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_quiet_runs.sh ${VANTREL_MSIINFO} ${VANTREL_PACKAGE})
# The installer's own messages come from the DLL in the user's language, and the package is
# language-neutral with ASCII tables (Wine ignores the package's languages).
add_test(NAME PackageMessagesComeFromTheDllAndThePackageIsLanguageNeutral
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_installer_messages.sh ${VANTREL_MSIINFO} ${VANTREL_PACKAGE})
# The machine defaults are read back from the 64-bit view and are secure properties (Wine passes
# every property to its server, so only the package's tables can show the second).
add_test(NAME MachineDefaultsAreRememberedAndSecure
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_machine_defaults.sh ${VANTREL_MSIINFO} ${VANTREL_PACKAGE} ${VANTREL_ARCH})
# The package holds only components of its own bitness, installed into that bitness's program
# folder.
add_test(NAME PackageComponentsHaveThePackagesBitness
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_components.sh ${VANTREL_MSIINFO} ${VANTREL_PACKAGE} ${VANTREL_ARCH})
# The x86 build: either package replaces the other, in the mixed prefix only (scripts/test.sh runs
# it there after both builds; the x64 package is the x64 build's, in build/).
if(VANTREL_ARCH STREQUAL x86)
  add_test(NAME PackagesReplaceEachOther
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_replacement.sh
            ${CMAKE_SOURCE_DIR}/build/Vantrel-${VANTREL_PRODUCT_VERSION}-x64.msi ${VANTREL_PACKAGE})
  set_tests_properties(PackagesReplaceEachOther PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 1200)
endif()
# The tests read the installed DLL's version resource (vantrel_core does not import version).
target_link_libraries(${target} PRIVATE version)
# The package's refusal in German and Japanese: Wine takes the user's language from LANG when a
# process starts, so the test program itself runs with it (its msiexec inherits it), and checks
# that Wine took it (VANTREL_TEST_LANGID).
foreach(run "de_DE.UTF-8;0x0407;German" "ja_JP.UTF-8;0x0411;Japanese")
  list(GET run 0 lang)
  list(GET run 1 langid)
  list(GET run 2 name)
  add_test(NAME PackageRefusalIn${name}
    COMMAND env LANG=${lang} LC_ALL= LC_MESSAGES= VANTREL_TEST_LANGID=${langid}
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${target}>
            --gtest_filter=PackageTest.RefusalIsShownInTheUsersLanguage)
  set_tests_properties(PackageRefusalIn${name} PROPERTIES TIMEOUT 120)
endforeach()
