# Tests that talk through a real JACK server. include() this file, then:
#
#   velmora_jack_test(NAME SOURCES file.cpp... LIBS target...)
#
# builds a GoogleTest program linked with the peer client (jack_peer.h) and
# registers every test in it with the ctest fixture "jack": ctest starts this
# build folder's JACK server first (tests/jack/start-jack) and stops it after
# the last such test. The tests find the server through JACK_DEFAULT_SERVER;
# VELMORA_JACK_SCRIPTS_DIR names the folder of start-jack and stop-jack.
include_guard(GLOBAL)
include(GoogleTest)

# One server per build folder, so that test runs of two build folders can
# overlap.
string(MD5 _velmora_jack_hash "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${_velmora_jack_hash}" 0 12 _velmora_jack_hash)
set(VELMORA_JACK_SERVER "velmora-test-${_velmora_jack_hash}"
    CACHE INTERNAL "The JACK server of this build folder's tests")

function(velmora_jack_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} velmora_jack_peer velmora_test_support
                                          GTest::gtest GTest::gtest_main)
    # For tests that need a server of their own (to stop it, for instance).
    target_compile_definitions(${name} PRIVATE
        VELMORA_JACK_SCRIPTS_DIR="${PROJECT_SOURCE_DIR}/tests/jack")
    # Listing the tests runs at build time, without a server: that is fine.
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
        # One at a time: they share one server, whose dummy driver runs late
        # when several clients load the two cores, and JACK drops the MIDI of
        # a late cycle.
        PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED jack RESOURCE_LOCK jack_server LABELS jack
        ENVIRONMENT "JACK_DEFAULT_SERVER=${VELMORA_JACK_SERVER}"
        ENVIRONMENT_MODIFICATION "JACK_NO_START_SERVER=set:1")
endfunction()
