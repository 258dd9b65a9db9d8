# The receive path under fuzzing: any frames through the adapters' receive callback into every
# parser and sensor (receive_path_fuzz), and frame sequences of the multi-frame protocols
# (frame_sequence_fuzz). The whole plug-in must be built with the sanitizers and the coverage the
# fuzzer steers by, so these targets exist only in a sanitized clang tree:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQCAN_SANITIZE=ON
#   cmake --build build-fuzz --target receive_path_fuzz frame_sequence_fuzz traffic_seeds
#   build-fuzz/bin/receive_path_fuzz -max_total_time=600 fuzz-work/receive_path build-fuzz/fuzz-seeds/receive_path
# scripts/fuzz-smoke.sh does exactly this for a given time per target.
if(NOT QCAN_SANITIZE)
  message(STATUS "Receive-path fuzz targets need -DQCAN_SANITIZE=ON; not built")
  return()
endif()

# Coverage of the plug-in, the adapter library and the logging library, without the fuzzer's main.
foreach(lib qcansensors qcan_api_objects QCAN_API wisp qcan_test_support qcan_traffic)
  if(TARGET ${lib})
    target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endforeach()

foreach(target receive_path_fuzz frame_sequence_fuzz)
  if(target STREQUAL "receive_path_fuzz")
    add_executable(${target} ReceivePathFuzz.cpp)
  else()
    add_executable(${target} FrameSequenceFuzz.cpp)
  endif()
  target_compile_options(${target} PRIVATE ${QCAN_FUZZ_FLAGS})
  target_link_options(${target} PRIVATE ${QCAN_FUZZ_FLAGS})
  target_link_libraries(${target} PRIVATE qcan_traffic)
  add_dependencies(${target} QCAN_API)
endforeach()

# The seeds: every make's traffic written from the corpus generator at build time.
add_executable(traffic_seeds TrafficSeeds.cpp)
target_link_libraries(traffic_seeds PRIVATE qcan_traffic)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/fuzz-seeds/receive_path/Mixed
  COMMAND traffic_seeds ${CMAKE_BINARY_DIR}/fuzz-seeds
  DEPENDS traffic_seeds
  COMMENT "Writing the traffic corpus as fuzz seeds")
add_custom_target(fuzz_seeds ALL DEPENDS ${CMAKE_BINARY_DIR}/fuzz-seeds/receive_path/Mixed)
add_dependencies(receive_path_fuzz fuzz_seeds)
add_dependencies(frame_sequence_fuzz fuzz_seeds)
