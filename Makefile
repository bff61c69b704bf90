# TARVEX WOL -- see README.md.
.PHONY: run test demo screenshot native win32 fuzz bench clean

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
	@scripts/setup.sh && scripts/build.sh native && cmake --build build/native --target magic_packet_bench && build/native/magic_packet_bench

clean:
	rm -rf build
