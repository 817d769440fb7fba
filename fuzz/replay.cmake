# Included by tests/CMakeLists.txt: each fuzz target without libFuzzer replays its corpus and regression inputs.
foreach(name series grid number fields compute)
  add_executable(fuzz_replay_${name} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${name}.cpp)
  target_compile_definitions(fuzz_replay_${name} PRIVATE TABULOR_FUZZ_REPLAY)
  target_include_directories(fuzz_replay_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(fuzz_replay_${name} PRIVATE tabulor_core)
  file(GLOB inputs CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/corpus/${name}/* ${CMAKE_CURRENT_LIST_DIR}/regressions/${name}/*)
  add_test(NAME fuzz_replay_${name} COMMAND fuzz_replay_${name} ${inputs})
endforeach()
