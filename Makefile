# Thin wrapper around CMake. `make demo` and `make test` each do their own
# set-up, configure and build.
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all setup build demo test sanitize bench fuzz fuzz-scale clean

all: build

setup:
	@sh scripts/setup

build: setup
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

demo: build
	@sh examples/run-demo build

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: setup
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON >/dev/null
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j $(JOBS)

bench: setup
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKV_TESTS=OFF -DKV_BENCH=ON >/dev/null
	cmake --build build-bench -j $(JOBS)
	sh bench/run build-bench

# Each fuzz target for SECONDS seconds (clang only); see fuzz/run.
SECONDS ?= 60
RUNS ?= 10000000
fuzz: setup
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DKV_TESTS=OFF -DKV_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	sh fuzz/run build-fuzz $(SECONDS)

# Both fuzz targets at once for RUNS inputs each (clang only); see fuzz/scale.
fuzz-scale: setup
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	      -DKV_TESTS=OFF -DKV_FUZZ=ON >/dev/null
	cmake --build build-fuzz -j $(JOBS)
	sh fuzz/scale build-fuzz $(RUNS)

clean:
	rm -rf build build-asan build-bench build-fuzz
