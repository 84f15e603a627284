# Single entry point: installs what is missing, configures, builds, tests.
PRESET ?= release
JOBS   ?= $(shell nproc)
BUILD   = build/$(PRESET)

.PHONY: all deps build test asan-test demo screenshots clean format

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

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp')

clean:
	rm -rf build
