# Cost of one log statement on the calling thread: cached appender, plain rolling file, floor.
add_executable(log_call ${CMAKE_CURRENT_LIST_DIR}/log_call.cpp)
target_link_libraries(log_call PRIVATE foundation)
