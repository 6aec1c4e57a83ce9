# What the daemon binary costs (CPU time, peak memory, battery request round trip beside a plain
# libzmq echo), on plain files in place of the board's (--fuse: the simulated board). It runs in
# scripts/sandbox and is not part of ctest:
#   cmake --build <build> --target daemon_costs         one minute of requests
#   cmake --build <build> --target daemon_costs_quick   a smoke check of a few seconds
quarn_add_sandbox_bench(daemon_costs daemon_costs.py)
