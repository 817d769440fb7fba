# Included by tests/CMakeLists.txt: each fuzz target, built without libFuzzer
# by the project's own compiler, replays its kept regression inputs and its
# seed corpus as one ctest test (also in the sanitizer build).
foreach(name series grid number fields compute)
  add_executable(fuzz_replay_${name}
    ${PROJECT_SOURCE_DIR}/fuzz/fuzz_${name}.cpp ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  target_include_directories(fuzz_replay_${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(fuzz_replay_${name} PRIVATE tabulor_core)
  set(inputs ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  if(EXISTS ${PROJECT_SOURCE_DIR}/fuzz/regressions/${name})
    list(APPEND inputs ${PROJECT_SOURCE_DIR}/fuzz/regressions/${name})
  endif()
  add_test(NAME fuzz_replay_${name} COMMAND fuzz_replay_${name} ${inputs})
endforeach()
find_package(Threads REQUIRED)
target_link_libraries(fuzz_replay_fields PRIVATE Threads::Threads)
