# The two commands of the README:  make run   and   make test
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local

.PHONY: run build test test-main test-asan fuzz bench deps clean format-check format install package package-check

deps:
	./scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DORVALIS_WERROR=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/src/app/orvalis

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVALIS_SANITIZE=ON -DORVALIS_BENCH=OFF -DORVALIS_WERROR=ON

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIS_FUZZ=ON -DORVALIS_BENCH=OFF

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_regimport fuzz_micrograph
	./scripts/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The program, sc.reg, the help pages, desktop entry, icons, AppStream data and manual page.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# orvalis_<version>_amd64.deb in $(BUILD).
package: build
	cd $(BUILD) && cpack -G DEB

# Install layout, the package, its validators and lintian, and the unpacked program started offscreen.
package-check: build
	./scripts/check-package.sh $(BUILD)

test: format-check test-main test-asan fuzz package-check

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done
	$(BUILD)/bench/ctffit_accuracy
	./bench/bench-cli.sh $(BUILD)
	./bench/bench-cli-fit.sh $(BUILD)
	./bench/bench-cli-patches.sh $(BUILD)

# Every C++ file of ours; the style is .clang-format's.
FORMAT_FILES = $(shell find src tests bench fuzz tools -name '*.cpp' -o -name '*.h' | sort)

format-check: deps
	clang-format --dry-run --Werror $(FORMAT_FILES)

format: deps
	clang-format -i $(FORMAT_FILES)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
