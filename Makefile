# make run    - install what is missing, build, start Vandrel
# make test   - install what is missing, build, run every test
# make bench  - build and run the benchmarks (release build)
# make sanitize - build and run the tests under AddressSanitizer and UBSan
# make fuzz     - build the fuzz targets with clang 16 and libFuzzer, run each for FUZZ_SECONDS (not in CI)
# make deb      - build the Debian package $(BUILD)/vandrel_<version>+<build>_<arch>.deb, the only one there
# make install  - install under PREFIX (default /usr/local), below DESTDIR when given
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local

.PHONY: deps configure build run test bench sanitize tsan fuzz clean format deb install

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/src/app/vandrel $(ARGS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Each commit's package has a name of its own: the one of an earlier build goes, so ./build/vandrel_*.deb names one.
deb: build
	rm -f $(BUILD)/vandrel_*.deb
	cd $(BUILD) && cpack -G DEB

install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_BUILD_TESTS=OFF -DVANDREL_BUILD_BENCH=ON > /dev/null
	@cmake --build build-bench -j $(JOBS) --target run_benchmarks

sanitize:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DVANDREL_SANITIZE=ON"

tsan:
	$(MAKE) test BUILD=build-tsan CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DVANDREL_TSAN=ON"

fuzz:
	@bash scripts/install-deps.sh fuzz
	@CC=clang-16 CXX=clang++-16 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DVANDREL_BUILD_TESTS=OFF -DVANDREL_FUZZ=ON > /dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@bash fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

format:
	@git ls-files '*.h' '*.cpp' | xargs clang-format -i

clean:
	rm -rf build build-bench build-asan build-tsan build-fuzz
