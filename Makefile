# Top-level entry points: `make demo`, `make test`, `make sanitize`; `make deps` installs what the
# build needs and is missing (demo and test call it).
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
DEMO ?= sphere-real

.PHONY: all deps configure program python-package build demo test sanitize clean fuzz fuzz-smoke bench

all: build

deps:
	@bash scripts/deps.sh

configure:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release >/dev/null

# The program alone, without the test suite.
program: configure
	cmake --build $(BUILD) -j $(JOBS) --target valdrin

# The Python package (build/python/valdrin), when the build has it (pybind11 was found).
python-package: configure
	@if cmake --build $(BUILD) --target help | grep -q valdrin_python; then \
		cmake --build $(BUILD) -j $(JOBS) --target valdrin_python; fi

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: deps program python-package
	@rm -rf demo-run && mkdir -p demo-run
	@cp examples/$(DEMO)/* demo-run/
	@echo "== running examples/$(DEMO)/config.xml in demo-run/ (5 runs, with --report --csv) =="
	@cd demo-run && ../$(BUILD)/valdrin config.xml 5 --report --csv
	@echo
	@echo "== files written in demo-run/ =="
	@ls -l demo-run
	@echo
	@echo "== head of demo-run/runs.csv =="
	@head -n 6 demo-run/runs.csv
	@echo
	@echo "== the report page: $(CURDIR)/demo-run/report.html =="

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVALDRIN_SANITIZE=ON >/dev/null
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

# Benchmarks on a Release build: the workloads of bench/workloads/, the scaling table and the
# inner operations, written to bench/results.md (about three minutes).
BENCH_ROUNDS ?= 3
bench: deps configure python-package
	cmake --build $(BUILD) -j $(JOBS) --target valdrin valdrin_bench_workloads valdrin_bench_operators
	bash bench/run.sh $(BUILD) $(BENCH_ROUNDS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) demo-run

# Coverage-guided fuzzing (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) of the
# configuration reader and check and of the submatrix task's data reader; the rules are in
# fuzz/Makefile. `make fuzz` runs each target FUZZ_SECONDS seconds, `make fuzz-smoke` (for CI)
# FUZZ_SMOKE_SECONDS. Crash inputs go to build-fuzz/crashes/TARGET/.
FUZZ_SECONDS ?= 300
FUZZ_SMOKE_SECONDS ?= 30

fuzz: deps
	$(MAKE) -f fuzz/Makefile -j $(JOBS) targets
	$(MAKE) -f fuzz/Makefile run FUZZ_SECONDS=$(FUZZ_SECONDS)

fuzz-smoke: deps
	$(MAKE) -f fuzz/Makefile -j $(JOBS) targets
	$(MAKE) -f fuzz/Makefile run FUZZ_SECONDS=$(FUZZ_SMOKE_SECONDS)
