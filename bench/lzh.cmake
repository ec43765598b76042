# The LZH throughput benchmark is a script (bench/lzh_throughput.sh) run by
# hand against build/native/bin/lzhx; nothing to build here.
