# The two commands of the README: `make run` and `make test`. Both install what is
# missing on a Debian 12 machine first.
.PHONY: all setup build build-asan lint run test bench format clean

all: build

setup:
	@scripts/setup.sh

build: setup
	cmake --preset default
	cmake --build --preset default

build-asan: setup
	cmake --preset asan
	cmake --build --preset asan

run: build
	scripts/run-demo.sh

# Formatting and clang-tidy; needs the default build's compile commands.
lint: build
	scripts/lint.sh

# The GCC build and the clang build with the sanitizers, then the fuzzer.
test: build build-asan lint
	ctest --preset default
	ctest --preset asan
	scripts/fuzz.sh 30

# Each size of prefs_bench runs in a process of its own: in one process, the heap that
# earlier sizes left behind scatters the large store over memory and the figures
# measure that. peers_bench races the store against other INI libraries, all sizes in
# one process, taking turns.
bench: build
	for n in 10 100 1000 10000 100000; do build/bench/prefs_bench --benchmark_filter="/$$n\$$"; done
	build/bench/peers_bench
	xvfb-run -a -s "-screen 0 1280x800x24" build/bench/startup_bench

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan
