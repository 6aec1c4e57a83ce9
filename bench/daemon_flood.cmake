# A flood on the daemon's request socket (memory curve, battery check period, answer time of a
# well-behaved client). It runs in scripts/sandbox and is not part of ctest:
#   cmake --build <build> --target daemon_flood         two minutes of flood, 30 s after
#   cmake --build <build> --target daemon_flood_quick   a smoke check of a few seconds
quarn_add_sandbox_bench(daemon_flood daemon_flood.py)
