# The recording CaptureEvents the capture suites and the benchmarks share; no
# GoogleTest, so the benchmarks link it without the suites.
include_guard(GLOBAL)
add_library(veltrix_capture_recorder STATIC ${CMAKE_CURRENT_LIST_DIR}/capture_recorder.cpp)
target_include_directories(veltrix_capture_recorder PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(veltrix_capture_recorder PUBLIC veltrix_capture PRIVATE veltrix_flags)
