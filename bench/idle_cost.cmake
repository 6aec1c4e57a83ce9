# How often the idle daemon wakes up and what CPU it uses, with the dsp-manager present and
# absent. It runs in scripts/sandbox and is not part of ctest:
#   cmake --build <build> --target idle_cost         one minute a case
#   cmake --build <build> --target idle_cost_quick   a smoke check of ten seconds a case
quarn_add_sandbox_bench(idle_cost idle_cost.py $<TARGET_FILE:quarn-bus>)
