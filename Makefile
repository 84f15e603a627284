# Single entry point: installs what is missing, configures, builds, tests.
PRESET ?= release
JOBS   ?= $(shell nproc)
BUILD   = build/$(PRESET)

.PHONY: all deps build test asan-test tsan-test demo clean format

all: build

deps:
	@scripts/install-deps.sh build

$(BUILD)/build.ninja: | deps
	cmake --preset $(PRESET)

build: deps $(BUILD)/build.ninja
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET) -j $(JOBS)

asan-test:
	$(MAKE) test PRESET=asan

# The job, progress and concurrency tests under ThreadSanitizer.
TSAN_TESTS ?= Job|PhaseCheck|Announce|Progress|Concurrent|StopSignal|FileSizeLimit|Command
tsan-test: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target test_jobs test_cli quillgen
	ctest --preset tsan -R '$(TSAN_TESTS)' -j $(JOBS)

# Writes the default test tone into ./out/ and shows what the file holds.
demo: build
	@mkdir -p out
	@path=$$(cd out && ../$(BUILD)/quillgen tone --quiet) && \
	  echo "wrote out/$$path" && $(BUILD)/quillgen info "out/$$path"

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp')

clean:
	rm -rf build
