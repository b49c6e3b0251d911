# Tests of the host side: companion libraries with faults, the loading of the
# companion library in a process of its own, and the command-line host.

# ---------------------------------------------------------------- faulty companions
set(VRN_FAKE_COMPANIONS)
foreach(fault no_initialize no_getstring empty_name utf16)
  string(TOUPPER "FAKE_${fault}" flag)
  add_library(tlvcmn_${fault} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/fakes/tlvcmn_fake.cpp)
  target_compile_definitions(tlvcmn_${fault} PRIVATE ${flag})
  target_link_libraries(tlvcmn_${fault} PRIVATE vrnplatform)
  vrn_warnings(tlvcmn_${fault})
  if(WIN32)
    set_target_properties(tlvcmn_${fault} PROPERTIES PREFIX "")
  endif()
  list(APPEND VRN_FAKE_COMPANIONS tlvcmn_${fault})
endforeach()

if(TARGET unit_tests)
  add_dependencies(unit_tests tlvcmn ${VRN_FAKE_COMPANIONS})
endif()
if(TARGET library_tests)
  add_dependencies(library_tests ${VRN_FAKE_COMPANIONS})
endif()

# ---------------------------------------------------------------- companion loading
# Each case loads a copy of the library beside a companion of its choice, so
# each runs in a process of its own: a process holds one library of a name.
add_executable(companion_tests ${CMAKE_CURRENT_SOURCE_DIR}/fakes/companion_loading_test.cpp)
target_link_libraries(companion_tests PRIVATE vrntestsupport gtest gtest_main)
vrn_warnings(companion_tests)
add_dependencies(companion_tests vrndll tlvcmn ${VRN_FAKE_COMPANIONS})
foreach(case MissingGetStringFailsTheCall NoCompanionFailsTheCall
             EmptyProductNameStillRecovers RenamedLibraryUsesTheProgramFolder
             LoadingAndUnloadingCreateNoFileAndLoadNoCompanion)
  add_test(NAME companion_${case}
           COMMAND companion_tests --gtest_filter=CompanionLoading.${case}
           WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(companion_${case} PROPERTIES TIMEOUT 300)
endforeach()

# ---------------------------------------------------------------- command-line host
file(GLOB VRN_HOST_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/host/*_test.cpp)
list(FILTER VRN_HOST_TEST_SOURCES EXCLUDE REGEX "/host/main\\.cpp$")
add_executable(host_tests ${VRN_HOST_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/vrndll/output/Manifest.cpp
               ${CMAKE_SOURCE_DIR}/vrndll/sql/Charset.cpp)
target_link_libraries(host_tests PRIVATE vrntestsupport gtest gtest_main)
vrn_warnings(host_tests)
add_dependencies(host_tests vrndll tlvcmn)
add_test(NAME host_tests COMMAND host_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set_tests_properties(host_tests PROPERTIES TIMEOUT 900)

# ---------------------------------------------------------------- SQL of a sample recovery
# The sample dumps (format 12 and format 15) are written with mkdump,
# recovered with vrnrecover, and every script batch is parsed by sqlglot
# (tests/sql_check.py). Linux only; skipped when the system Python has no
# sqlglot.
if(NOT WIN32 AND EXISTS ${CMAKE_SOURCE_DIR}/tools/mkdump.cpp AND EXISTS /usr/bin/python3)
  foreach(sample sample sample15)
    add_test(NAME sql_check_${sample}
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/sql_check.py --sample
                     $<TARGET_FILE:mkdump> $<TARGET_FILE:vrnrecover>
                     ${CMAKE_SOURCE_DIR}/examples/${sample}.dump.txt
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(sql_check_${sample} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
  endforeach()
endif()

# ---------------------------------------------------------------- output stability
# The sample dump at every block size, whole and damaged, recovered through
# the library and compared with the stored listing of its output files.
# Linux only: the listing is read from the source tree.
if(NOT WIN32 AND EXISTS ${CMAKE_SOURCE_DIR}/examples/sample.dump.txt)
  add_executable(stability_tests ${CMAKE_CURRENT_SOURCE_DIR}/stability/output_stability_test.cpp)
  target_link_libraries(stability_tests PRIVATE vrntestsupport gtest gtest_main)
  vrn_warnings(stability_tests)
  add_dependencies(stability_tests vrndll tlvcmn)
  add_test(NAME output_stability COMMAND stability_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(output_stability PROPERTIES TIMEOUT 600 ENVIRONMENT
    "VRN_SAMPLE_DESCRIPTION=${CMAKE_SOURCE_DIR}/examples/sample.dump.txt;VRN_STABILITY_LISTING=${CMAKE_CURRENT_SOURCE_DIR}/stability/recovery_listing.txt")
endif()
