# TARVEX WOL -- see README.md.
.PHONY: run test test-fresh demo screenshot native win32 win64 dist fuzz bench bench-wine clean

run:
	@scripts/run.sh

test:
	@scripts/test-all.sh

# The Windows builds and the Wine layers as on a machine where Wine has never run.
test-fresh:
	@scripts/setup.sh && scripts/fresh-machine.sh

demo:
	@scripts/setup.sh && scripts/demo.sh

screenshot:
	@scripts/setup.sh && scripts/screenshot.sh

native:
	@scripts/setup.sh && scripts/build.sh native

win32:
	@scripts/setup.sh && scripts/build.sh win32

win64:
	@scripts/setup.sh && scripts/build.sh win64

# The release zip: the 32-bit exe, its usage text and SHA256SUMS (dist/).
dist:
	@scripts/setup.sh && scripts/dist.sh

fuzz:
	@scripts/setup.sh && scripts/fuzz.sh

bench:
	@scripts/setup.sh && scripts/build.sh bench magic_packet_bench >/dev/null && build/bench/magic_packet_bench

# Check latency, probe resource figures and a 240-PC list, under Wine in the test network (about 4 min).
bench-wine:
	@scripts/setup.sh && scripts/bench-wine.sh

clean:
	rm -rf build dist
