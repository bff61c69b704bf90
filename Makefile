# TARVEX WOL -- see README.md.
.PHONY: run test demo screenshot native win32 fuzz bench bench-wine clean

run:
	@scripts/run.sh

test:
	@scripts/test-all.sh

demo:
	@scripts/setup.sh && scripts/build.sh win32 tarvex-wol && scripts/demo.sh

screenshot:
	@scripts/setup.sh && scripts/build.sh win32 tarvex-wol && scripts/screenshot.sh

native:
	@scripts/setup.sh && scripts/build.sh native

win32:
	@scripts/setup.sh && scripts/build.sh win32

fuzz:
	@scripts/setup.sh && scripts/fuzz.sh

bench:
	@scripts/setup.sh && scripts/build.sh bench magic_packet_bench >/dev/null && build/bench/magic_packet_bench

# Check latency and probe resource figures, under Wine in the test network (about 3 min).
bench-wine:
	@scripts/setup.sh && scripts/build.sh win32 && TARVEX_BENCH=1 scripts/testnet.sh scripts/xvfb-run.sh \
		scripts/wine-ns build/win32/e2e_tests.exe --program=build/win32/tarvex-wol.exe --gtest_filter='Bench*'

clean:
	rm -rf build
