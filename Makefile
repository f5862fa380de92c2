# Shortcuts over the CMake presets; see README.md.
.PHONY: build test run deps clean

# CI sets CI=true: there, warnings are errors.
WERROR := $(if $(filter true 1,$(CI)),ON,OFF)
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

build: deps
	cmake --preset win32 -DSHEENWRIGHT_WERROR=$(WERROR)
	cmake --build --preset win32 -j $(JOBS)
	cmake --preset win64 -DSHEENWRIGHT_WERROR=$(WERROR)
	cmake --build --preset win64 -j $(JOBS)

test: build
	tools/wine-session --prefix build/win64/wineprefix ctest --preset win64

run: deps
	@echo "make run: the main window is not built yet; 'make test' builds and tests what exists."

deps:
	@tools/install-deps

clean:
	rm -rf build
