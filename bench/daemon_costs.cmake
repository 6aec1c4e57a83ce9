# What the daemon binary costs on the simulated board (CPU time, peak memory, battery request
# round trip beside a plain libzmq echo). It runs in scripts/sandbox and is not part of ctest:
#   cmake --build <build> --target daemon_costs         one minute of requests
#   cmake --build <build> --target daemon_costs_quick   a smoke check of a few seconds
foreach(_variant daemon_costs daemon_costs_quick)
    if(_variant STREQUAL daemon_costs_quick)
        set(_options --quick)
    else()
        set(_options)
    endif()
    add_custom_target(${_variant}
                      COMMAND ${PROJECT_SOURCE_DIR}/scripts/sandbox
                              --board-dir $<TARGET_FILE_DIR:boardsim>
                              -- /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/daemon_costs.py
                              $<TARGET_FILE:pwr-manager> ${_options}
                      DEPENDS pwr-manager boardsim boardsim-ctl
                      USES_TERMINAL VERBATIM)
endforeach()
