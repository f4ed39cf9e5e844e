# Thin wrapper over the CMake presets. `make run` builds and runs the agent headless on the
# default port; `make test` builds and runs every test suite.
.PHONY: run test deps test-deps test-ci test-asan test-tsan test-fuzz bench

JOBS ?= $(shell nproc)

run: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)
	./build/release/parvello/parvello --no-tray

deps:
	./scripts/install-deps.sh

test-deps:
	./scripts/install-deps.sh --test

test: test-deps test-ci test-tsan test-fuzz

# The ASan+UBSan suites built with every warning an error (preset ci).
test-ci:
	cmake --preset ci >/dev/null
	cmake --build --preset ci -j $(JOBS)
	ctest --preset ci -j $(JOBS)

# The same suites without -Werror, for work in progress.
test-asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

test-tsan:
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

test-fuzz:
	./scripts/run-fuzz.sh

bench:
	./scripts/install-deps.sh --bench
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	bench/status_wrk.sh build/bench/parvello/parvello
	bench/agent_bench.py build/bench/parvello/parvello
	bench/footprint.py build/bench/parvello/parvello
