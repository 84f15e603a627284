# Single entry point: installs what is missing, configures, builds, tests.
PRESET ?= release
JOBS   ?= $(shell nproc)
BUILD   = build/$(PRESET)
# Seconds each fuzz target runs under `make fuzz`.
FUZZ_SECONDS ?= 60

.PHONY: all deps build test voice-check asan-test tsan-test fuzz fuzz-smoke bench demo screenshots package clean format

all: build

deps:
	@scripts/install-deps.sh build

$(BUILD)/build.ninja: | deps
	cmake --preset $(PRESET)

build: deps $(BUILD)/build.ninja
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET) -j $(JOBS)

# Whether the announcements are understood: a speech recogniser hears a varied set of announced
# files, and the word error rate against what the program meant to say is printed with the worst
# cases (tools/voice-check.py). It fails above VOICE_MAX_WER percent.
VOICE_MAX_WER ?= 6
voice-check: deps $(BUILD)/build.ninja
	@scripts/install-deps.sh voice-check
	cmake --build --preset $(PRESET) -j $(JOBS) --target quillgen
	tools/voice-check.py --quillgen $(BUILD)/quillgen --max-wer $(VOICE_MAX_WER)

asan-test:
	$(MAKE) test PRESET=asan

# Every fuzz target (libFuzzer, ASan + UBSan) in turn for FUZZ_SECONDS each; findings go to
# build/fuzz/findings/. The smoke run is CI's: 30 seconds each.
fuzz:
	FUZZ_SECONDS=$(FUZZ_SECONDS) scripts/fuzz.sh

fuzz-smoke:
	FUZZ_SECONDS=30 scripts/fuzz.sh

# The job, progress and concurrency tests under ThreadSanitizer.
TSAN_TESTS ?= Job|PhaseCheck|Announce|Progress|Concurrent|StopSignal|FileSizeLimit|Command
tsan-test: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target test_jobs test_cli quillgen
	ctest --preset tsan -R '$(TSAN_TESTS)' -j $(JOBS)

# Speed and memory beside sox and the cost of writing the same bytes (bench/compare.py), then
# the micro-benchmarks of the signal path. BENCH_ARGS=--quick for one round.
BENCH_ARGS ?=
bench:
	@scripts/install-deps.sh bench
	cmake --preset release -DQUILL_BUILD_BENCH=ON
	cmake --build --preset release -j $(JOBS) --target quillgen micro_bench converter_bench
	QUILL_RESOURCES=$(CURDIR)/resources bench/compare.py build/release/quillgen $(BENCH_ARGS)
	build/release/bench/micro_bench --benchmark_min_time=0.2

# Writes the default test tone into ./out/ and shows what the file holds.
demo: build
	@mkdir -p out
	@path=$$(cd out && ../$(BUILD)/quillgen tone --quiet) && \
	  echo "wrote out/$$path" && $(BUILD)/quillgen info "out/$$path"

# Pictures of the window's tabs, save panel, progress sheet, About and Help for the README,
# rendered offscreen by the application's own code.
screenshots: deps $(BUILD)/build.ninja
	cmake --build --preset $(PRESET) -j $(JOBS) --target quillwavecaster_screenshots
	QT_QPA_PLATFORM=offscreen QUILL_RESOURCES=$(CURDIR)/resources \
	  $(BUILD)/src/gui/quillwavecaster_screenshots docs/screenshots

# A Debian package of both programs with their resources, desktop entry, icon, manual page and
# bash completion, built for /usr: build/package/quillwavecaster_<version>_<architecture>.deb.
package:
	@scripts/install-deps.sh package
	cmake --preset package
	cmake --build --preset package -j $(JOBS) --target package

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'tools/*.cpp')

clean:
	rm -rf build
