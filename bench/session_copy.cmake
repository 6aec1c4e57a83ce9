# Copy of a 50 MiB session into a sink that discards, beside cat of the same file.
add_executable(session_copy ${CMAKE_CURRENT_LIST_DIR}/session_copy.cpp)
target_link_libraries(session_copy PRIVATE storage)
