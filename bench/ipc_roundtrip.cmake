# Round trip of a request and its response through the IPC layer, against plain libzmq.
add_executable(ipc_roundtrip ${CMAKE_CURRENT_LIST_DIR}/ipc_roundtrip.cpp)
target_link_libraries(ipc_roundtrip PRIVATE ipc)
